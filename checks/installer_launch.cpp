#include <windows.h>

#include <shlobj.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "checks/setup_command_line.h"
#include "checks/setup_launch.h"
#include "extract/archive_extraction.h"
#include "extract/resource_writer.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "resources/string_keys.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"
#include "win/format_text.h"

namespace zelko {
namespace {

constexpr wchar_t kDefaultRun[] = L"%INSTALLPATH%\\setup.exe";

// The process's current directory, whatever its length; empty when it cannot be read.
std::wstring CurrentDirectoryPath() {
  std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
  if (folder.empty()) return folder;
  folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  return folder;
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
  if (prepared || bSilent_ || dialog_ == nullptr) return TRUE;
  FolderPick pick = BrowseForFolder();
  for (;;) {
    if (pick == FolderPick::kCancelled) return TRUE;
    if (pick == FolderPick::kChosen && PrepareInstallerFolder(kNoShellFolder)) return TRUE;
    const std::wstring title = SfxConfig::GetText(kSfxTitleCaptionBar);
    const std::wstring question = SfxConfig::GetText(kSfxDlgErrRetryBrowseForFolder);
    if (ShowLocalisedMessageBox(dialog_->GetSafeHwnd(), title.c_str(), question.c_str(),
                                MB_YESNO) != IDYES) {
      SfxLog::Write(2, L"User canceled browse for folder");
      // The user gave up the installation: nothing was installed, so the run ends as one its
      // user cancelled, not as a success.
      bCancelled_ = TRUE;
      return FALSE;
    }
    pick = BrowseForFolder();
  }
}

BOOL CZelkoSelfExtractorApp::StartInstaller() {
  SfxLog::Write(1, L"StartInstaller...");
  if (dialog_ != nullptr && dialog_->GetSafeHwnd() != nullptr) {
    ::ShowWindow(dialog_->GetSafeHwnd(), SW_HIDE);
  }
  std::wstring run = SfxConfig::GetValue(kInstallSection, kRunKey);
  if (run.empty()) run = kDefaultRun;
  const std::wstring runPath = SetupProgramPath(run, installFolder_);
  if (::GetFileAttributesW(runPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Nothing can be installed: a condition, never the quiet 0 of a run that worked.
    const DWORD error = ::GetLastError();
    const std::wstring text = L"Failed to find installer run file at: " + runPath;
    ::SetLastError(error);
    error_.SetErrorCondition(text, kSfxErrSetupMissing, static_cast<int>(error));
    return FALSE;
  }
  const std::wstring arguments = ComposeSetupArguments(
      passToSetup_ != nullptr ? passToSetup_ : L"",
      SfxConfig::GetValue(kInstallSection, kSetupArgs1Key),
      SfxConfig::GetValue(kInstallSection, kSetupArgs2Key));
  const std::wstring commandLine = SetupCommandLine(runPath, arguments);
  SfxLog::Write(1, L"CreateProcess cmdLine: " + commandLine);

  const SetupLaunchResult launch = LaunchSetupProgram(runPath, commandLine, arguments,
                                                      CurrentDirectoryPath(), SystemSetupStarter());
  switch (launch.outcome) {
    case SetupLaunchResult::Outcome::kFinished: {
      wchar_t line[64];
      FormatText(line, 64, L"Installer finished with exit code: %d",
                 static_cast<int>(launch.exitCode));
      SfxLog::Write(2, line);
      exitCode_ = static_cast<int32_t>(launch.exitCode);
      bRunSucceeded_ = TRUE;  // its own code is the run's answer, whatever it is
      if (exitCode_ == kInstallUserExit) bCancelled_ = TRUE;
      break;
    }
    case SetupLaunchResult::Outcome::kNoExitCode:
      // It ran, but how it ended is unknown: a caller must not read that as success.
      ::SetLastError(launch.error);
      error_.SetErrorCondition(L"GetExitCodeProcess failed", kSfxErrSetupStart,
                               static_cast<int>(launch.error));
      break;
    case SetupLaunchResult::Outcome::kElevationRefused:
      // The user said no to the administrator prompt: as if they had cancelled the setup.
      ::SetLastError(launch.error);
      SfxLog::Write(1, L"ShellExecuteEx failed", 1);
      bCancelled_ = TRUE;
      break;
    case SetupLaunchResult::Outcome::kNotStarted:
      ::SetLastError(launch.error);
      error_.SetErrorCondition(launch.elevated ? L"ShellExecuteEx failed" : L"CreateProcess failed",
                               kSfxErrSetupStart, static_cast<int>(launch.error));
      break;
  }
  return TRUE;
}

}  // namespace zelko
