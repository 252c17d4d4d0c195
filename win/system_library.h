// DLL loading that never looks in the program's own folder. An installer is typically started
// from a downloads folder, where a planted DLL with a system DLL's name would otherwise be
// loaded in its place, often with administrator rights.
#pragma once

#include <windows.h>

namespace zelko {

// Makes System32 the only folder that this process's DLL loads search, for every later load,
// the ones that system DLLs make themselves included. Call it first thing. SetDefaultDllDirectories
// is looked up at run time, so that the program still starts on a system without it; there
// the current folder is at least taken off the search, and false is returned.
bool RestrictDllSearchToSystem32();

// Loads `name`, a DLL of Windows itself, from System32 only (for comctl32, the version that
// the program's manifest asks for). Returns null when it cannot be loaded; the caller owns the
// module.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace zelko
