#include <windows.h>

#include <shlobj.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "checks/setup_command_line.h"
#include "extract/archive_extraction.h"
#include "extract/resource_writer.h"
#include "report/run_log.h"
#include "resources/payload_resources.h"
#include "resources/string_keys.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"
#include "win/format_text.h"
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

BOOL CZelkoSelfExtractorApp::SetupInstaller() {
  SfxLog::Write(2, L"SetupInstaller...");
  if (b7zArchive_ && ExtractResourceToFile(installerBinPath_, *this, kArchiveResourceId,
                                           kArchiveResourceType) != kResourceWritten) {
    return FALSE;
  }
  if (bRdcMode_ && ExtractResourceToFile(rdcBinPath_, *this, kRdcArchiveResourceId,
                                         kRdcArchiveResourceType) != kResourceWritten) {
    return FALSE;
  }
  if (!ChooseInstallerFolder()) return FALSE;

  if (!b7zArchive_) return ExtractInstallerFiles(*this);
  if (!ExtractFilesFromArchive(installerBinPath_, installFolder_)) return FALSE;
  // The second payload goes into the same folder as the first.
  if (bRdcMode_ && !ExtractFilesFromArchive(rdcBinPath_, installFolder_)) return FALSE;
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::ChooseInstallerFolder() {
  BOOL prepared = FALSE;
  if (!installFolder_.empty()) {
    prepared = PrepareInstallerFolder(kNoShellFolder);
  } else {
    prepared = PrepareInstallerFolder(CSIDL_COMMON_APPDATA) ||
               PrepareInstallerFolder(CSIDL_LOCAL_APPDATA);
  }
  // Without a window to own the browser, the extraction is tried where the last attempt left
  // installFolder_; its failure then names the problem.
  if (prepared || bSilent_ || dialog_ == nullptr || !BrowseForFolder()) return TRUE;
  for (;;) {
    if (PrepareInstallerFolder(kNoShellFolder)) return TRUE;
    const std::wstring title = SfxConfig::GetValue(kStringSection, kSfxTitleCaptionBar);
    const std::wstring question =
        SfxConfig::GetValue(kStringSection, kSfxDlgErrRetryBrowseForFolder);
    if (ShowLocalisedMessageBox(dialog_->GetSafeHwnd(), title.c_str(), question.c_str(),
                                MB_YESNO) != IDYES) {
      SfxLog::Write(2, L"User canceled browse for folder");
      return FALSE;
    }
    if (!BrowseForFolder()) return TRUE;
  }
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
    FormatText(line, 64, L"Installer finished with exit code: %d", static_cast<int>(exitCode));
    SfxLog::Write(2, line);
    exitCode_ = static_cast<int32_t>(exitCode);
    if (exitCode == kInstallUserExit) bCancelled_ = TRUE;
  }
  return TRUE;
}

}  // namespace zelko
