// A stand-in for a product's setup program, packed into the test installers: it records the
// command line it was started with in "setup_ran.txt" beside itself and ends with the code
// given as "/exit=N" on that command line (0 without one).
#include <windows.h>

#include <cwchar>
#include <string>

#include "win/scoped_handle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const wchar_t* commandLine = ::GetCommandLineW();
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring record(self, length);
  record.erase(record.find_last_of(L'\\') + 1);
  record += L"setup_ran.txt";

  zelko::ScopedFileHandle file(::CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ::WriteFile(file.get(), commandLine, static_cast<DWORD>(wcslen(commandLine) * sizeof(wchar_t)),
              &written, nullptr);
  const wchar_t* exit = wcsstr(commandLine, L"/exit=");
  return exit != nullptr ? _wtoi(exit + 6) : 0;
}
