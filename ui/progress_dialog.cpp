#include "ui/progress_dialog.h"

#include <commctrl.h>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "report/run_log.h"
#include "resources/string_keys.h"
#include "ui/message_box.h"
#include "win/format_text.h"
#include "win/message_wait.h"

namespace zelko {
namespace {

constexpr int kCancelButtonId = IDCANCEL;

// The controls without which the dialog does not count as started.
constexpr int kRequiredControls[] = {kCancelButtonId, IDC_PROGRESS_BAR, IDC_HEADING, IDC_STATUS};

// Limits of the start: 4.2 seconds for the dialog, then up to 2 seconds for its controls,
// looked for every 100 ms.
constexpr DWORD kDialogStartMs = 200 + 40 * 100;
constexpr DWORD kLookIntervalMs = 100;
constexpr int kControlLooks = 20;

std::wstring StringValue(const wchar_t* key) { return SfxConfig::GetText(key); }

// The heading's font height in pixels at the window's resolution, so it keeps its size
// beside the scaled dialog font at 150 or 200 %.
int HeadingFontHeight(HWND window) {
  constexpr int kHeightAt96Dpi = 16;
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  UINT dpi = 0;
  if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
    auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
    if (getDpi != nullptr) dpi = getDpi(window);
  }
  if (dpi == 0) {
    const ScopedScreenDc screen(::GetDC(nullptr));
    if (screen) dpi = static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY));
  }
  return dpi > 96 ? ::MulDiv(kHeightAt96Dpi, static_cast<int>(dpi), 96) : kHeightAt96Dpi;
}

}  // namespace

uint32_t ProgressPosition(uint32_t doneKB, uint32_t totalKB) {
  // With no total there is nothing to measure against: the work counts as not begun rather
  // than done, so neither the bar nor the updater hears "complete" while work goes on.
  if (totalKB == 0) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(doneKB) * kProgressSteps / totalKB);
}

std::wstring FormatProgressPercent(uint32_t position) {
  std::wstring digits = DecimalText(position);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), L'0');
  digits.insert(digits.size() - 2, 1, L'.');
  return digits + L"%";
}

CZelkoSelfExtractorDlg::CZelkoSelfExtractorDlg(HICON icon, HANDLE ready)
    : CDialog(IDD_PROGRESS_DIALOG), icon_(icon), ready_(ready) {}

BOOL CZelkoSelfExtractorDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HWND window = GetSafeHwnd();
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  ::SetWindowTextW(window, StringValue(kSfxTitleCaptionBar).c_str());

  headingFont_.reset(::CreateFontW(HeadingFontHeight(window), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                                   FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FF_SWISS | DEFAULT_PITCH, L"Tahoma"));
  ::SendMessageW(GetDlgItem(IDC_HEADING), WM_SETFONT,
                 reinterpret_cast<WPARAM>(headingFont_.get()), TRUE);

  // No built-in texts: a key that is not configured leaves its control empty.
  static constexpr struct {
    int id;
    const wchar_t* key;
  } kTexts[] = {{IDC_HEADING, kSfxDlgTitle},
                {IDC_STATUS, kSfxDlgStatus},
                {IDC_EXTRACTING, kSfxDlgExtracting},
                {kCancelButtonId, kSfxBtnCancel}};
  for (const auto& text : kTexts) {
    ::SetWindowTextW(GetDlgItem(text.id), StringValue(text.key).c_str());
  }
  // The controls of the template exist from before this message on.
  if (ready_ != nullptr) ::SetEvent(ready_);
  return TRUE;
}

bool CZelkoSelfExtractorDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                       INT_PTR& result) {
  switch (message) {
    case WM_PAINT:
      if (!::IsIconic(GetSafeHwnd())) return false;
      PaintMinimised();
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    case WM_COMMAND:
      // Cancel, Esc, and the close box (the system turns WM_CLOSE into this command).
      if (LOWORD(wParam) != kCancelButtonId || HIWORD(wParam) != BN_CLICKED) return false;
      OnCancelRequest();
      return true;
    case kEndDialogMessage:
      EndDialog(1);
      return true;
    case kShowProgressMessage:
      ShowProgressPosition();
      return true;
    default:
      return false;
  }
}

void CZelkoSelfExtractorDlg::PaintMinimised() {
  HWND window = GetSafeHwnd();
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window, &paint);
  ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(window, &client);
  const int iconWidth = ::GetSystemMetrics(SM_CXICON);
  const int iconHeight = ::GetSystemMetrics(SM_CYICON);
  ::DrawIcon(dc, (client.right - client.left - iconWidth + 1) / 2,
             (client.bottom - client.top - iconHeight + 1) / 2, icon_);
  ::EndPaint(window, &paint);
}

void CZelkoSelfExtractorDlg::OnCancelRequest() {
  CZelkoSelfExtractorApp& app = theApp;
  // A second request while the question is open (a queued Esc, say) is the same request.
  if (asking_) return;
  if (app.error_.code_ == kSfxNoError) {
    // The event is reset before the flag goes up, so the extraction can only ever wait on
    // an event that the answer below will set.
    if (app.waitEvent_ != nullptr) ::ResetEvent(app.waitEvent_);
    app.bPaused_ = TRUE;
    // Against the main thread, which sets bSetupStarting_ and then waits while bPaused_ is
    // set: either it waits for this question, or this side sees that the setup program is
    // being started and asks nothing. A Yes then can never undo a finished installation.
    // (Both flags are sequentially consistent, so the two threads cannot each miss the
    // other's write.)
    if (!app.bSetupStarting_) {
      const std::wstring title = StringValue(kSfxTitleCaptionBar);
      const std::wstring question = StringValue(kSfxCancelConfirm);
      asking_ = true;
      const int answer =
          ShowLocalisedMessageBox(GetSafeHwnd(), title.c_str(), question.c_str(), MB_YESNO);
      asking_ = false;
      if (answer == IDYES) Cancel();
    }
  }
  app.bPaused_ = FALSE;
  if (app.waitEvent_ != nullptr) ::SetEvent(app.waitEvent_);
}

void CZelkoSelfExtractorDlg::Cancel() {
  CZelkoSelfExtractorApp& app = theApp;
  SfxLog::Write(1, L"User canceled process");
  // Cancelled before finished: the extraction stops when it sees bFinished_, and its result
  // must by then be known as the user's doing, never reported as an error.
  app.bCancelled_ = TRUE;  // seen by any thread that then sees bFinished_
  app.bFinished_ = TRUE;
  // Hidden, not ended: the main thread still sends progress to it and owns its last message
  // box by it until the cleanup ends it.
  ::ShowWindow(GetSafeHwnd(), SW_HIDE);
}

void CZelkoSelfExtractorDlg::StepProgress(uint32_t amountKB) {
  if (theApp.bFinished_) return;
  progressSoFarKB_ += amountKB;
  if (progressSoFarKB_ > totalKB_) return;
  const uint32_t position = ProgressPosition(progressSoFarKB_, totalKB_);
  // A payload of many small files reports far more often than the position changes, and
  // waiting for a repaint on every report would add seconds to the extraction.
  if (position == requestedPosition_) return;
  requestedPosition_ = position;
  positionToShow_.store(position);
  if (!showPending_.exchange(true)) {
    ::PostMessageW(GetSafeHwnd(), kShowProgressMessage, 0, 0);
  }
}

// Dialog's thread.
void CZelkoSelfExtractorDlg::ShowProgressPosition() {
  // Cleared before the position is read: a position stored after this point either is read
  // now or finds no message pending and posts its own.
  showPending_.store(false);
  const uint32_t position = positionToShow_.load();
  HWND bar = GetDlgItem(IDC_PROGRESS_BAR);
  if (bar != nullptr && position <= kProgressSteps) {
    ::SendMessageW(bar, PBM_SETPOS, position, 0);
  }
  if (HWND percent = GetDlgItem(IDC_PERCENT)) {
    ::SetWindowTextW(percent, FormatProgressPercent(position).c_str());
  }
}

CWinThreadProc::CWinThreadProc() : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

BOOL CWinThreadProc::InitInstance() {
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  HICON icon = ::LoadIconW(self, MAKEINTRESOURCEW(IDI_PROGRAM_ICON));
  dialog_ = std::make_unique<CZelkoSelfExtractorDlg>(icon, ready_.get());
  dialog_->SetRightToLeftLayout(theApp.uiLanguage_.bRightToLeft);
  SetMainWnd(dialog_.get());
  dialog_->DoModal();
  return FALSE;
}

int CWinThreadProc::ExitInstance() {
  const int code = CWinThread::ExitInstance();
  --theApp.uiThreadCount_;
  return code;
}

bool WaitForDialogControls(CZelkoSelfExtractorDlg* dialog) {
  auto allExist = [dialog] {
    for (int id : kRequiredControls) {
      if (!::IsWindow(dialog->GetDlgItem(id))) return false;
    }
    return true;
  };
  for (int look = 0; look < kControlLooks && !allExist(); ++look) {
    WaitAnsweringSentMessages(nullptr, kLookIntervalMs);
  }
  return allExist();
}

void ShowDialogCreateFailure(const wchar_t* cause, int withSystemError) {
  SfxLog::Write(1, std::wstring(L"Failed to create the progress dialog: ") + cause,
                withSystemError);
  const std::wstring title = StringValue(kSfxTitleCaptionBar);
  const std::wstring text = StringValue(kSfxDlgErrFailCreatMainDlg);
  ShowLocalisedMessageBox(nullptr, title.c_str(), text.c_str(), MB_OK);
}

BOOL CZelkoSelfExtractorApp::InitDialog() {
  SfxLog::Write(1, L"InitDialog...");
  if (bFinished_ || dialog_ != nullptr) return TRUE;

  // The thread object lives until the process ends: dialog_ points into it, the cleanup
  // waits on its handle, and the dialog may still signal its ready event after the wait
  // below gave up.
  auto* thread = new CWinThreadProc;
  // A start that could not be watched is no start.
  if (thread->ReadyEvent() == nullptr) {
    ShowDialogCreateFailure(L"its thread did not start", 1);
    return FALSE;
  }
  // Counted from before its start, so the count always matches the threads running: a
  // thread that ends at once (no template) cannot take it below 0.
  ++uiThreadCount_;
  if (!thread->CreateThread(THREAD_PRIORITY_NORMAL, 0, 0)) {
    const DWORD error = ::GetLastError();
    --uiThreadCount_;
    ::SetLastError(error);
    ShowDialogCreateFailure(L"its thread did not start", 1);
    return FALSE;
  }
  uiThread_ = thread->GetHandle();

  // The dialog says when its controls exist; the thread's handle ends the wait at once if
  // the thread dies before that. The ready event comes first: a dialog that was up counts
  // as up, whatever happened after.
  enum : DWORD { kReady, kThreadEnded, kTimeUp };
  const HANDLE starts[] = {thread->ReadyEvent(), uiThread_};
  const DWORD woke = WaitAnsweringSentMessages(starts, 2, kDialogStartMs);
  if (auto* dialog = static_cast<CZelkoSelfExtractorDlg*>(thread->GetMainWnd())) {
    dialog_ = dialog;
    if (woke != kThreadEnded && WaitForDialogControls(dialog)) return TRUE;
  }
  const bool threadEnded = ::WaitForSingleObject(uiThread_, 0) == WAIT_OBJECT_0;
  ShowDialogCreateFailure(threadEnded ? L"its thread ended without the dialog"
                                      : L"the dialog or its controls did not appear in time");
  return FALSE;
}

}  // namespace zelko
