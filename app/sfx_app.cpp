#include "app/sfx_app.h"

#include <cstdlib>
#include <ctime>
#include <cwchar>

#include "app/command_params.h"
#include "app/sfx_config.h"
#include "report/registry_report.h"
#include "report/run_log.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"
#include "win/format_text.h"

namespace zelko {

CZelkoSelfExtractorApp theApp;

namespace {

constexpr wchar_t kBanner[] = L"Zelko SFX 10.0.0.1 logging started.";
constexpr wchar_t kDefaultTitle[] = L"Setup";

}  // namespace

BOOL CZelkoSelfExtractorApp::InitInstance() {
  // Names of the support folder and of the write-test files come from this generator.
  srand(static_cast<unsigned>(time(nullptr)));
  SfxLog::Write(1, kBanner);
  InitApplication();

  if (HandleXrdcMode(m_lpCmdLine)) return FALSE;

  {
    const CommandParams params(::GetCommandLineW(), __argc, __wargv);
    params.Log();
    if (params.bDebug_) return FALSE;

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

  if (!PrepareConfiguration()) return FALSE;

  const std::wstring compression = SfxConfig::GetValue(L"INSTALL", L"Compression");
  b7zArchive_ = compression.empty() || _wcsicmp(compression.c_str(), L"7z") == 0;

  SetButtonCaption(kOkButtonId, SfxConfig::GetValue(L"STRING", L"SFX_BTN_OK").c_str());
  SetButtonCaption(kNoButtonId, SfxConfig::GetValue(L"STRING", L"SFX_BTN_NO").c_str());
  SetButtonCaption(kYesButtonId, SfxConfig::GetValue(L"STRING", L"SFX_BTN_YES").c_str());

  if (RunInstallation() == NextStep::kReport) ReportErrorCondition();
  Cleanup();

  if (bKiv_ && exitCode_ == 0 &&
      !WriteRegistryString(HKEY_CURRENT_USER, kKivRegistryKey, L"WebMsiPath", installFolder_)) {
    SfxLog::Write(1, L"Failed to register WebMsiPath");
  }
  return FALSE;
}

CZelkoSelfExtractorApp::NextStep CZelkoSelfExtractorApp::RunInstallation() {
  if (!AcquireProductRunLock()) return NextStep::kReport;
  if (!CheckSystemRequirements()) return NextStep::kReport;
  if (ValidateArchive()) return NextStep::kCleanup;
  // In RDC mode the second payload goes over an installed product.
  if (IsAlreadyInstalled() && !bRdcMode_) return NextStep::kReport;
  // A dialog that cannot be created has shown its own message; there is nothing to report.
  if (!bSilent_ && !InitDialog()) return NextStep::kCleanup;
  StartProgress(totalSizeKB_);
  if (SetupInstaller() && !bFinished_ && !bDoNotExecute_) StartInstaller();
  return NextStep::kReport;
}

void CZelkoSelfExtractorApp::ReportErrorCondition() {
  bFinished_ = TRUE;
  if (error_.code_ == kSfxNoError) return;

  exitCode_ = error_.code_;
  HWND dialogWindow = dialog_ != nullptr ? dialog_->GetSafeHwnd() : nullptr;
  if (dialogWindow != nullptr) ::ShowWindow(dialogWindow, SW_HIDE);
  const std::wstring message = error_.message_;
  if (!bSilent_) {
    std::wstring title = SfxConfig::GetValue(L"STRING", L"SFX_TITLE_CAPTIONBAR");
    if (title.empty()) title = kDefaultTitle;
    ShowLocalisedMessageBox(dialogWindow, title.c_str(), message.c_str(), MB_OK);
  }
  if (bKiv_ || bVuh_) ReportResultToRegistry(exitCode_, message);
}

int CZelkoSelfExtractorApp::ExitInstance() {
  wchar_t line[64];
  FormatText(line, 64, L"Program finished with exit code: %d", static_cast<int>(exitCode_));
  SfxLog::Write(2, line);
  CWinAppBase::ExitInstance();
  return exitCode_;
}

}  // namespace zelko
