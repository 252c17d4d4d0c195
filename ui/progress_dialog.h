// The progress dialog, run modally on a user-interface thread of its own while the main
// thread extracts. The main thread talks to it through the application's flags, through
// messages to its controls, and by hiding or ending it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "resources/resource.h"
#include "win/dialog.h"
#include "win/scoped_handle.h"
#include "win/ui_thread.h"

namespace zelko {

// Posted to the dialog by any thread to end it (its modal loop ends with result 1).
constexpr UINT kEndDialogMessage = WM_USER + 5;
// Posted by the main thread: show the position the progress has reached.
constexpr UINT kShowProgressMessage = WM_USER + 6;

// The bar runs from 0 to this many steps.
constexpr uint32_t kProgressSteps = 10000;

class CZelkoSelfExtractorDlg : public CDialog {
 public:
  // `ready` (borrowed, may be null) is signalled once the dialog's controls exist.
  CZelkoSelfExtractorDlg(HICON icon, HANDLE ready);

  // Main thread: moves the bar and the percentage text by `amountKB` of `totalKB_`. The
  // dialog's thread draws the new position when it gets to it; the extraction never waits.
  void StepProgress(uint32_t amountKB);
  // The cancel and pause protocol; runs on the dialog's thread for Cancel, Esc and the close
  // box.
  void OnCancelRequest();

  // The progress total in KB, set by StartProgress before the first step.
  uint32_t totalKB_ = 0;

 protected:
  BOOL OnInitDialog() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  // The user confirmed the cancel: the run stops at the extraction's next look at the flags.
  void Cancel();
  void PaintMinimised();
  void ShowProgressPosition();

  HICON icon_;
  HANDLE ready_;
  ScopedGdiObject headingFont_;
  // KB given to the dialog so far (the dialog lives once per process, so this is the run's
  // count). Main thread only.
  uint32_t progressSoFarKB_ = 0;
  // The last position handed to the dialog's thread; none yet at first. Main thread only.
  uint32_t requestedPosition_ = UINT32_MAX;
  // The hand-over of a position: the newest one, and whether a show message is on its way
  // (then a newer position only replaces the number, and one message shows the newest).
  std::atomic<uint32_t> positionToShow_{0};
  std::atomic<bool> showPending_{false};
  bool asking_ = false;  // the cancel question is open
};

// The user-interface thread: runs the dialog and ends with it.
class CWinThreadProc : public CWinThread {
 public:
  CWinThreadProc();
  BOOL InitInstance() override;
  int ExitInstance() override;

  // Signalled (manual reset) once the dialog's controls exist; null when it could not be
  // made. It lives as long as this object, so a dialog that comes up after its starter gave
  // up never signals a closed handle.
  HANDLE ReadyEvent() const { return ready_.get(); }

 private:
  ScopedHandle ready_;
  std::unique_ptr<CZelkoSelfExtractorDlg> dialog_;
};

// Whether the controls the run needs (Cancel, bar, heading, status) exist, waiting for them
// up to 2 seconds.
bool WaitForDialogControls(CZelkoSelfExtractorDlg* dialog);

// Logs "Failed to create the progress dialog: " with `cause` (and the system error when
// `withSystemError` is not 0), then tells the user that the dialog could not be created.
void ShowDialogCreateFailure(const wchar_t* cause, int withSystemError = 0);

// Bar position (0..10,000) for `doneKB` of `totalKB`; a total of 0 (nothing measured) gives 0.
uint32_t ProgressPosition(uint32_t doneKB, uint32_t totalKB);

// The percentage text of a bar position: 4,567 gives "45.67%", 5 gives ".05%".
std::wstring FormatProgressPercent(uint32_t position);

}  // namespace zelko
