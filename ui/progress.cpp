#include "ui/progress.h"

#include <windows.h>
#include <commctrl.h>

#include "app/sfx_app.h"
#include "ui/pipe_progress.h"
#include "ui/progress_dialog.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

// How long a report waits for a busy updater pipe to listen again.
constexpr DWORD kBusyPipeWaitMs = 1000;

// The first pipe path that answers a probe (open and close, nothing sent), or empty.
std::wstring ProbeProgressPipe() {
  for (const std::wstring& path : {kProgressPipePrefix + DeriveProgressPipeName(),
                                   kFallbackPipePrefix + DeriveFallbackPipeName()}) {
    ScopedFileHandle probe(OpenProgressPipe(path));
    if (probe) return path;
  }
  return std::wstring();
}

void SendPipeProgress(CZelkoSelfExtractorApp& app, uint32_t amountKB) {
  // Saturates rather than wraps, so an overlong run can never start sending again.
  app.progressDone_ = amountKB > UINT32_MAX - app.progressDone_ ? UINT32_MAX
                                                                 : app.progressDone_ + amountKB;
  if (app.progressDone_ > app.progressTotal_) return;
  if (app.pipeName_.empty()) return;
  ScopedFileHandle pipe(OpenProgressPipe(app.pipeName_));
  // The updater serves one writer at a time and listens again after each: a report that comes
  // while it takes the one before finds the pipe busy, and waits for it briefly rather than
  // be lost. A server that stays busy past the wait is not waited for again until a report
  // gets through, so it cannot slow the extraction down report by report.
  if (!pipe && ::GetLastError() == ERROR_PIPE_BUSY && app.bWaitForBusyPipe_) {
    if (::WaitNamedPipeW(app.pipeName_.c_str(), kBusyPipeWaitMs)) {
      pipe.reset(OpenProgressPipe(app.pipeName_));
    }
    app.bWaitForBusyPipe_ = pipe ? TRUE : FALSE;
  }
  if (!pipe) return;  // lost; the next report tries again
  app.bWaitForBusyPipe_ = TRUE;
  const uint32_t percent = PipePercentage(app.progressDone_, app.progressTotal_);
  const unsigned char message[4] = {
      static_cast<unsigned char>(percent), static_cast<unsigned char>(percent >> 8),
      static_cast<unsigned char>(percent >> 16), static_cast<unsigned char>(percent >> 24)};
  DWORD written = 0;
  ::WriteFile(pipe.get(), message, sizeof(message), &written, nullptr);
  pipe.reset();
  ::Sleep(0);  // let the updater's server take the message
}

}  // namespace

void CZelkoSelfExtractorApp::StartProgress(uint32_t totalKB) {
  if (bKiv_) {
    progressTotal_ = totalKB;
    progressDone_ = 0;
    pipeName_ = ProbeProgressPipe();
    bWaitForBusyPipe_ = TRUE;
    return;
  }
  if (bFinished_ || dialog_ == nullptr) return;
  dialog_->totalKB_ = totalKB;
  ::SendMessageW(dialog_->GetDlgItem(IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, kProgressSteps);
}

void ReportProgress(uint32_t amountKB) {
  CZelkoSelfExtractorApp& app = theApp;
  if (app.bKiv_) {
    // A pipe that is gone fails to open ("file not found"); the extraction that reported
    // must still find its own last error afterwards.
    const DWORD callerError = ::GetLastError();
    SendPipeProgress(app, amountKB);
    ::SetLastError(callerError);
    return;
  }
  // Work reported while the cancel question is open is not counted.
  if (app.bFinished_ || app.bPaused_) return;
  if (app.dialog_ != nullptr) app.dialog_->StepProgress(amountKB);
}

}  // namespace zelko
