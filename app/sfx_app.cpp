#include "app/sfx_app.h"

#include <cstdlib>
#include <ctime>
#include <cwchar>

#include <shellapi.h>

#include "app/command_params.h"
#include "app/sfx_config.h"
#include "extract/pause_wait.h"
#include "report/registry_report.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/string_keys.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"
#include "win/format_text.h"
#include "win/scoped_handle.h"

namespace zelko {

CZelkoSelfExtractorApp theApp;

namespace {

constexpr wchar_t kBanner[] = L"Zelko SFX 10.0.0.1 logging started.";
// Followed by the name of the step at which the run stopped.
constexpr wchar_t kNoResultLine[] = L"Run ended without a result in step: ";

}  // namespace

BOOL CZelkoSelfExtractorApp::InitInstance() {
  // The write-test files' names come from this generator; the support folder's name comes
  // from the system's strong one, and from this one only when that fails.
  srand(static_cast<unsigned>(time(nullptr)));
  SfxLog::Write(1, kBanner);
  InitApplication();

  runStep_ = L"HandleXrdcMode";
  if (HandleXrdcMode(m_lpCmdLine)) return FALSE;

  {
    // The arguments by the system's own rules, under which a quoted program name ends at its
    // closing quote even with a switch right after it ("C:\x\setup.exe"/sfx_nu). The C
    // runtime under Wine runs such a name on to the next blank and would swallow the switch.
    const wchar_t* commandLine = ::GetCommandLineW();
    int argc = 0;
    const ScopedLocalMemory argvOwner(::CommandLineToArgvW(commandLine, &argc));
    wchar_t* const* argv = static_cast<wchar_t* const*>(argvOwner.get());
    if (argv == nullptr) argc = 0;
    const CommandParams params(commandLine, argc, argv);
    params.Log();
    if (params.bDebug_) {
      bRunSucceeded_ = TRUE;  // logging the command line is all it was asked for
      return FALSE;
    }

    bSilent_ = params.bSilent_;
    bDoNotExecute_ = params.bDoNotExecute_;
    bValidate_ = params.bValidate_;
    bKiv_ = params.bKiv_;
    bVuh_ = params.bVuh_;
    passToSetup_ = params.passToSetup_;
    if (params.outputFolder_ != nullptr) installFolder_ = params.outputFolder_;
  }
  if (bKiv_) {
    // The updater service watches no window and starts the setup program itself.
    SfxLog::Write(1, L"Launched by Kiv");
    bSilent_ = TRUE;
    bDoNotExecute_ = TRUE;
  }

  runStep_ = L"PrepareConfiguration";
  if (!PrepareConfiguration()) return FALSE;

  const std::wstring compression = SfxConfig::GetValue(kInstallSection, kCompressionKey);
  b7zArchive_ = compression.empty() || _wcsicmp(compression.c_str(), L"7z") == 0;

  uiLanguage_ = ChooseUiLanguage();
  SetButtonCaption(kOkButtonId, SfxConfig::GetText(kSfxBtnOk).c_str());
  SetButtonCaption(kNoButtonId, SfxConfig::GetText(kSfxBtnNo).c_str());
  SetButtonCaption(kYesButtonId, SfxConfig::GetText(kSfxBtnYes).c_str());
  SetMessageBoxRightToLeft(uiLanguage_.bRightToLeft);

  if (RunInstallation() == NextStep::kReport) ReportErrorCondition();
  Cleanup();

  if (bKiv_ && exitCode_ == 0 && bRunSucceeded_ &&
      !WriteRegistryString(HKEY_CURRENT_USER, kKivRegistryKey, L"WebMsiPath", installFolder_)) {
    SfxLog::Write(1, L"Failed to register WebMsiPath");
  }
  return FALSE;
}

CZelkoSelfExtractorApp::NextStep CZelkoSelfExtractorApp::RunInstallation() {
  runStep_ = L"AcquireProductRunLock";
  if (!AcquireProductRunLock()) return NextStep::kReport;
  runStep_ = L"CheckSystemRequirements";
  if (!CheckSystemRequirements()) return NextStep::kReport;
  runStep_ = L"ValidateArchive";
  if (ValidateArchive()) return NextStep::kCleanup;
  // In RDC mode the second payload goes over an installed product.
  runStep_ = L"IsAlreadyInstalled";
  if (IsAlreadyInstalled() && !bRdcMode_) return NextStep::kReport;
  // The pause's event exists before the dialog's thread can first read it, and is never
  // replaced after: neither thread makes it on the way.
  waitEvent_ = CreateWaitEvent();
  // A dialog that cannot be created has shown its own message; the run ends without a
  // second one (ExitInstance gives it its code).
  runStep_ = L"InitDialog";
  if (!bSilent_ && !InitDialog()) return NextStep::kCleanup;
  StartProgress(totalSizeKB_);
  runStep_ = L"SetupInstaller";
  if (!SetupInstaller()) return NextStep::kReport;
  // The payload is on disk, and the cancel question closes for good: a Cancel pressed from
  // now on asks nothing. A question already open may have come after the extraction's last
  // look at the flags, so its answer is awaited here; after Yes nothing is started.
  bSetupStarting_ = TRUE;  // before bPaused_ is read: the dialog's thread does the reverse
  WaitWhilePaused();
  if (bFinished_) return NextStep::kReport;  // cancelled: the flags tell
  if (bDoNotExecute_) {
    bRunSucceeded_ = TRUE;  // extracting was the whole job, and every file is written
  } else {
    runStep_ = L"StartInstaller";
    StartInstaller();
  }
  return NextStep::kReport;
}

bool CZelkoSelfExtractorApp::RunEndedWithoutResult() const {
  return !bRunSucceeded_ && !bCancelled_ && error_.code_ == kSfxNoError && exitCode_ == 0;
}

std::wstring CZelkoSelfExtractorApp::NoResultLogText() const {
  return std::wstring(kNoResultLine) + runStep_;
}

void CZelkoSelfExtractorApp::ReportErrorCondition() {
  bFinished_ = TRUE;
  // Whatever the path that came here, a run that did not do its job says so.
  if (RunEndedWithoutResult()) {
    error_.SetErrorCondition(NoResultLogText(), kSfxErrInstallFailure, 0);
  }
  if (error_.code_ == kSfxNoError) {
    // A cancelled run installed nothing; its caller hears so, without a message.
    if (bCancelled_) exitCode_ = kInstallUserExit;
    return;
  }

  exitCode_ = error_.code_;
  HWND dialogWindow = dialog_ != nullptr ? dialog_->GetSafeHwnd() : nullptr;
  if (dialogWindow != nullptr) ::ShowWindow(dialogWindow, SW_HIDE);
  const std::wstring message = error_.message_;
  if (!bSilent_) {
    std::wstring title = SfxConfig::GetText(kSfxTitleCaptionBar);
    if (title.empty()) title = kDefaultSetupTitle;
    ShowLocalisedMessageBox(dialogWindow, title.c_str(), message.c_str(), MB_OK);
  }
  if (bKiv_ || bVuh_) ReportResultToRegistry(exitCode_, message);
}

int CZelkoSelfExtractorApp::ExitInstance() {
  // The ends before the report (a failed preparation, a dialog that could not be made): the
  // same rule, without a message, since those paths show their own.
  if (RunEndedWithoutResult()) {
    SfxLog::Write(1, NoResultLogText());
    exitCode_ = kSfxErrInstallFailure;
  }
  wchar_t line[64];
  FormatText(line, 64, L"Program finished with exit code: %d", static_cast<int>(exitCode_));
  SfxLog::Write(2, line);
  CWinAppBase::ExitInstance();
  return exitCode_;
}

}  // namespace zelko
