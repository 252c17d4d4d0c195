#include "win/system_library.h"

#include <delayimp.h>

#include <string>

namespace zelko {
namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

FARPROC Kernel32Function(const char* name) {
  return ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
}

// The LOAD_LIBRARY_SEARCH_ flags exist where AddDllDirectory does (Windows 8, and Windows 7
// with its loader update).
bool SearchFlagsSupported() { return Kernel32Function("AddDllDirectory") != nullptr; }

// The DLLs that the program does not bind when it starts (see cmake/delay_load.cmake) are bound
// on their first call through this hook, each from System32, instead of through the delay-load
// helper's own LoadLibraryA, which would search the program's folder where the search is not
// restricted.
FARPROC WINAPI LoadDelayedDll(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) {
    return nullptr;
  }
  wchar_t name[MAX_PATH];
  if (::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH) == 0) return nullptr;
  return reinterpret_cast<FARPROC>(LoadSystemLibrary(name));
}

}  // namespace

bool RestrictDllSearchToSystem32() {
  const auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
          Kernel32Function("SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
  ::SetDllDirectoryW(L"");
  return false;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (SearchFlagsSupported()) return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the flags: comctl32 by name, so that the manifest's side-by-side version is the one
  // loaded; everything else by its full System32 path.
  if (::CompareStringOrdinal(name, -1, L"comctl32.dll", -1, TRUE) == CSTR_EQUAL) {
    return ::LoadLibraryW(name);
  }
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace zelko

// The delay-load helper calls this hook before each load. MSVC's header declares it const,
// mingw-w64's does not.
#if defined(_MSC_VER)
extern "C" const PfnDliHook __pfnDliNotifyHook2 = zelko::LoadDelayedDll;
#else
extern "C" PfnDliHook __pfnDliNotifyHook2 = zelko::LoadDelayedDll;
#endif
