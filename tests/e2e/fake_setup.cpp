// A stand-in for a product's setup program, packed into the test installers: it records the
// command line it was started with in "setup_ran.txt" beside itself and ends with the code
// given as "/exit=N" on that command line (0 without one).
//
// With "/hold=NAME" it then sets the event "NAME.running" and waits for "NAME.release"
// before it ends, so a test can keep a whole installer run at this point while it looks at
// what another run does meanwhile.
#include <windows.h>

#include <cwchar>
#include <string>

#include "win/scoped_handle.h"

namespace {

// A test that dies before it releases the program must not leave it behind for good.
constexpr DWORD kHoldLimitMs = 5 * 60 * 1000;

void Record(const wchar_t* commandLine) {
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
}

void HoldIfAsked(const wchar_t* commandLine) {
  const wchar_t* hold = wcsstr(commandLine, L"/hold=");
  if (hold == nullptr) return;
  hold += 6;
  const std::wstring name(hold, wcscspn(hold, L" \""));
  zelko::ScopedHandle running(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L".running").c_str()));
  zelko::ScopedHandle release(::OpenEventW(SYNCHRONIZE, FALSE, (name + L".release").c_str()));
  ::SetEvent(running.get());
  ::WaitForSingleObject(release.get(), kHoldLimitMs);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  const wchar_t* commandLine = ::GetCommandLineW();
  Record(commandLine);
  HoldIfAsked(commandLine);
  const wchar_t* exit = wcsstr(commandLine, L"/exit=");
  return exit != nullptr ? _wtoi(exit + 6) : 0;
}
