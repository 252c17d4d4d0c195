// The program's entry point. It only hardens DLL loading and hands over to the application.
#include <windows.h>

#include <cstdlib>

#include "app/sfx_app.h"
#include "win/command_line.h"
#include "win/system_library.h"

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints the demangled type of an escaped exception,
// which pulls its whole demangler into the program. An escaped exception is a bug in any case;
// ending at once keeps the stub small.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int) {
  // Before anything can load a DLL: never from the program's own folder (often Downloads)
  // or the current directory, only from System32.
  zelko::RestrictDllSearchToSystem32();
  // The entry point's own tail runs a quoted program name on to the next blank, so a switch
  // written right after the closing quote ("C:\x\setup.exe"/xRDC) would be lost with it.
  return zelko::theApp.Run(instance, zelko::ArgumentsAfterProgramName(::GetCommandLineW()));
}
