#include <windows.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "checks/setup_command_line.h"
#include "report/run_log.h"
#include "ui/progress_dialog.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

constexpr wchar_t kInstallPathMarker[] = L"%INSTALLPATH%";
constexpr wchar_t kDefaultRun[] = L"%INSTALLPATH%\\setup.exe";
constexpr DWORD kInstallUserExit = 1602;  // ERROR_INSTALL_USEREXIT: the user cancelled setup

std::wstring ReplaceInstallPath(std::wstring text, const std::wstring& folder) {
  const std::wstring marker = kInstallPathMarker;
  for (size_t at = text.find(marker); at != std::wstring::npos;
       at = text.find(marker, at + folder.size())) {
    text.replace(at, marker.size(), folder);
  }
  return text;
}

}  // namespace

// Interim: the payload is not extracted yet; the extraction replaces this.
BOOL CZelkoSelfExtractorApp::SetupInstaller() {
  SfxLog::Write(2, L"SetupInstaller...");
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::StartInstaller() {
  SfxLog::Write(1, L"StartInstaller...");
  if (dialog_ != nullptr && dialog_->GetSafeHwnd() != nullptr) {
    ::ShowWindow(dialog_->GetSafeHwnd(), SW_HIDE);
  }
  std::wstring run = SfxConfig::GetValue(L"INSTALL", L"RUN");
  if (run.empty()) run = kDefaultRun;
  const std::wstring runPath = ReplaceInstallPath(run, installFolder_);
  if (::GetFileAttributesW(runPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SfxLog::Write(1, L"Failed to find installer run file at: " + runPath);
    return FALSE;
  }
  const std::wstring commandLine = ComposeSetupCommandLine(
      runPath, passToSetup_ != nullptr ? passToSetup_ : L"",
      SfxConfig::GetValue(L"INSTALL", L"SetupArgs1"), SfxConfig::GetValue(L"INSTALL", L"SetupArgs2"));
  SfxLog::Write(1, L"CreateProcess cmdLine: " + commandLine);

  std::wstring writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION info{};
  // A start that fails leaves no process: the wait and the exit-code query fail at once and
  // the exit code stays as it was.
  ::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                   &startup, &info);
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.get(), &exitCode)) {
    wchar_t line[64];
    swprintf(line, 64, L"Installer finished with exit code: %d", static_cast<int>(exitCode));
    SfxLog::Write(2, line);
    exitCode_ = static_cast<int32_t>(exitCode);
    if (exitCode == kInstallUserExit) bCancelled_ = TRUE;
  }
  return TRUE;
}

}  // namespace zelko
