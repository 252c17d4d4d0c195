// The demo's setup program: installs the Windows Installer package that lies beside it with
// the arguments it was given, and ends with the installer's exit code, as a product's own
// setup program would.
#include <windows.h>

#include <string>

#include "win/command_line.h"
#include "win/scoped_handle.h"

namespace {

constexpr wchar_t kPackageName[] = L"ZelkoDemoProduct.msi";

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self, length);
  folder.erase(folder.find_last_of(L'\\') + 1);

  std::wstring command = L"msiexec.exe /i \"" + folder + kPackageName + L"\" " +
                        zelko::ArgumentsAfterProgramName(::GetCommandLineW());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return static_cast<int>(::GetLastError());
  }
  zelko::ScopedHandle process(info.hProcess);
  zelko::ScopedHandle thread(info.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.get(), &exitCode);
  return static_cast<int>(exitCode);
}
