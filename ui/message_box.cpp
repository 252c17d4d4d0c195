#include "ui/message_box.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "win/message_wait.h"
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

// What tells one box apart from every other window with its title: the thread that shows
// it and the windows that thread already had before the box was requested. The progress
// dialog carries the same title as the cancel question and belongs to the same thread.
struct BoxSearch {
  DWORD showingThreadId = 0;
  std::vector<HWND> windowsBefore;
  std::wstring title;
  std::atomic<bool> boxClosed{false};  // the box has returned: stop looking
};

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
HWND FindShownBox(const BoxSearch& search) {
  for (HWND window : ThreadWindows(search.showingThreadId)) {
    if (std::find(search.windowsBefore.begin(), search.windowsBefore.end(), window) !=
        search.windowsBefore.end()) {
      continue;
    }
    wchar_t className[16];
    if (::GetClassNameW(window, className, 16) == 0 || wcscmp(className, kDialogClass) != 0) {
      continue;
    }
    if (HasTitle(window, search.title.c_str())) return window;
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
DWORD WINAPI RenameBoxButtons(void* param) {
  const BoxSearch& search = *static_cast<const BoxSearch*>(param);
  const mbData& record = theMessageBox;
  for (HWND box = nullptr; box == nullptr;) {
    ::Sleep(kLookIntervalMs);
    if (search.boxClosed) break;
    box = FindShownBox(search);
    if (box == nullptr) continue;
    theMessageBox.hwndBox = box;
    SetCaption(LoneOkButton(box), record.okCaption);
    SetCaption(::GetDlgItem(box, kNoButtonId), record.noCaption);
    SetCaption(::GetDlgItem(box, kYesButtonId), record.yesCaption);
  }
  return 0;
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

void SetMessageBoxRightToLeft(bool rightToLeft) { theMessageBox.bRightToLeft = rightToLeft; }

int ShowLocalisedMessageBox(HWND owner, const wchar_t* title, const wchar_t* text, UINT type) {
  if (title == nullptr) title = L"";
  mbData& record = theMessageBox;
  if (record.bRightToLeft) type |= MB_RTLREADING | MB_RIGHT;
  record.hwndOwner = owner;
  record.text = text;
  record.caption = title;
  record.hwndBox = nullptr;

  BoxSearch search;
  search.showingThreadId = ::GetCurrentThreadId();
  search.windowsBefore = ThreadWindows(search.showingThreadId);
  search.title = title;
  // Without the thread the box simply keeps the system's captions.
  ScopedHandle captionThread(::CreateThread(nullptr, 0, RenameBoxButtons, &search, 0, nullptr));
  const int answer = ::MessageBoxW(owner, text, title, type);
  search.boxClosed = true;
  // The search lives on this stack: the thread must be done before it goes.
  // Answering meanwhile what it sends to the box's buttons, so a rename in flight when the
  // box closes cannot block either thread.
  if (captionThread) WaitAnsweringSentMessages(captionThread.get(), INFINITE);
  return answer;
}

}  // namespace zelko
