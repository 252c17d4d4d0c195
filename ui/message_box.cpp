#include "ui/message_box.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "win/scoped_handle.h"

namespace zelko {

mbData theMessageBox;

namespace {

constexpr DWORD kLookIntervalMs = 50;
constexpr wchar_t kDialogClass[] = L"#32770";

std::unique_ptr<wchar_t[]> CopyOrNull(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return nullptr;
  const size_t length = wcslen(text);
  auto copy = std::make_unique<wchar_t[]>(length + 1);
  std::copy(text, text + length + 1, copy.get());
  return copy;
}

std::vector<HWND> ThreadWindows(DWORD threadId) {
  std::vector<HWND> windows;
  ::EnumThreadWindows(
      threadId,
      [](HWND window, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool HasTitle(HWND window, const wchar_t* title) {
  const size_t length = wcslen(title);
  std::wstring text(length + 2, L'\0');
  const int read = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return static_cast<size_t>(read) == length && wcsncmp(text.c_str(), title, length) == 0;
}

// The box just shown: a new dialog-class window of the showing thread with the box's title.
// The progress dialog carries the same title as the cancel question and belongs to the same
// thread, so only a window that was not there before the box was requested qualifies.
HWND FindShownBox(const mbData& box) {
  for (HWND window : ThreadWindows(box.showingThreadId)) {
    if (std::find(box.windowsBefore.begin(), box.windowsBefore.end(), window) !=
        box.windowsBefore.end()) {
      continue;
    }
    wchar_t className[16];
    if (::GetClassNameW(window, className, 16) == 0 || wcscmp(className, kDialogClass) != 0) {
      continue;
    }
    if (HasTitle(window, box.caption)) return window;
  }
  return nullptr;
}

// The button of a box whose only button is OK. Windows numbers it 2, so that Esc closes the
// box; Wine numbers it 1. A box with both (OK and Cancel) has no lone OK button.
HWND LoneOkButton(HWND box) {
  HWND two = ::GetDlgItem(box, kOkButtonId);
  HWND one = ::GetDlgItem(box, IDOK);
  if (two != nullptr && one == nullptr) return two;
  if (one != nullptr && two == nullptr) return one;
  return nullptr;
}

void SetCaption(HWND button, const std::unique_ptr<wchar_t[]>& caption) {
  if (button != nullptr && caption) ::SetWindowTextW(button, caption.get());
}

// The caption thread: looks for the box every 50 ms until it is found or has been closed,
// then gives its buttons the configured captions. It does not give up after a fixed number
// of looks, so a box that takes long to appear on a busy machine still gets its captions.
DWORD WINAPI RenameBoxButtons(void*) {
  mbData& box = theMessageBox;
  while (box.hwndBox == nullptr) {
    ::Sleep(kLookIntervalMs);
    if (box.boxClosed) break;
    box.hwndBox = FindShownBox(box);
    if (box.hwndBox == nullptr) continue;
    SetCaption(LoneOkButton(box.hwndBox), box.okCaption);
    SetCaption(::GetDlgItem(box.hwndBox, kNoButtonId), box.noCaption);
    SetCaption(::GetDlgItem(box.hwndBox, kYesButtonId), box.yesCaption);
  }
  return 0;
}

// Waits for the caption thread while answering the messages it sends to the box's buttons,
// so a rename in flight when the box closes cannot block either thread.
void JoinCaptionThread(HANDLE thread) {
  while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

void SetButtonCaption(int id, const wchar_t* text) {
  switch (id) {
    case kOkButtonId: theMessageBox.okCaption = CopyOrNull(text); break;
    case kNoButtonId: theMessageBox.noCaption = CopyOrNull(text); break;
    case kYesButtonId: theMessageBox.yesCaption = CopyOrNull(text); break;
    default: break;
  }
}

int ShowLocalisedMessageBox(HWND owner, const wchar_t* title, const wchar_t* text, UINT type) {
  mbData& box = theMessageBox;
  if (title == nullptr) title = L"";
  box.hwndOwner = owner;
  box.text = text;
  box.caption = title;
  box.hwndBox = nullptr;
  box.showingThreadId = ::GetCurrentThreadId();
  box.windowsBefore = ThreadWindows(box.showingThreadId);
  box.boxClosed = false;

  // Without the thread the box simply keeps the system's captions.
  ScopedHandle captionThread(::CreateThread(nullptr, 0, RenameBoxButtons, nullptr, 0, nullptr));
  const int answer = ::MessageBoxW(owner, text, title, type);
  box.boxClosed = true;
  // The record borrows the caller's texts: the thread must be done before they go.
  if (captionThread) JoinCaptionThread(captionThread.get());
  return answer;
}

}  // namespace zelko
