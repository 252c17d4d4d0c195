// Message boxes with the configured button captions, read and answered from another
// process as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "app/sfx_config.h"
#include "resources/string_keys.h"
#include "tests/ui/ui_fixture.h"
#include "ui/message_box.h"
#include "win/message_wait.h"
#include "ui/progress_dialog.h"

namespace zelko::test {
namespace {

constexpr wchar_t kBoxTitle[] = L"Caption test";

// A box shown on a thread of its own, as the main or the dialog's thread shows one. A box
// still open when this goes (its test failed before answering it) is closed, so the test
// ends instead of waiting for an answer that nobody gives.
class ShownBox {
 public:
  ShownBox(UINT type, HWND owner, const wchar_t* title) {
    answer_ = std::async(std::launch::async, [this, type, owner, title] {
      threadId_ = ::GetCurrentThreadId();
      return ShowLocalisedMessageBox(owner, title, L"Text of the box", type);
    });
  }
  ~ShownBox() {
    while (answer_.valid() &&
           answer_.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
      WaitAnsweringSentMessages(nullptr, 100);
      // A box ends on any of its commands, whichever buttons it has.
      ::EnumThreadWindows(
          threadId_,
          [](HWND window, LPARAM) {
            ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
          },
          0);
    }
  }
  ShownBox(const ShownBox&) = delete;
  ShownBox& operator=(const ShownBox&) = delete;

  int get() { return answer_.get(); }

 private:
  std::atomic<DWORD> threadId_{0};
  std::future<int> answer_;
};

std::string Utf8(const wchar_t* text) {
  char bytes[512] = "";
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
  return bytes;
}

// What a failed search for a box saw: every window of this process, its class, owner,
// visibility and title.
std::string OwnWindows() {
  std::string list;
  ::EnumWindows(
      [](HWND window, LPARAM param) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process != ::GetCurrentProcessId()) return TRUE;
        wchar_t className[64] = L"";
        wchar_t title[128] = L"";
        ::GetClassNameW(window, className, 64);
        ::InternalGetWindowText(window, title, 128);
        HWND owner = ::GetWindow(window, GW_OWNER);
        *reinterpret_cast<std::string*>(param) +=
            "\n  " + Utf8(HandleText(window).c_str()) + " class " + Utf8(className) +
            " owner " + (owner ? Utf8(HandleText(owner).c_str()) : std::string("none")) +
            (::IsWindowVisible(window) ? " visible \"" : " hidden \"") + Utf8(title) + "\"";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&list));
  return list;
}

class MessageBoxTest : public UiTest {
 protected:
  ShownBox ShowBox(UINT type, HWND owner = nullptr, const wchar_t* title = kBoxTitle) {
    return ShownBox(type, owner, title);
  }

  // Waits until the box's button `id` reads `caption`.
  bool WaitForCaption(HWND box, const std::string& id, const std::string& caption) {
    return WaitUntil([&] { return driver_.Texts(box)[id] == caption; });
  }
};

// The button of an OK box: 2 on Windows, 1 on Wine.
std::string OkButtonOf(const std::map<std::string, std::string>& texts) {
  return texts.count("2") ? "2" : "1";
}

TEST_F(MessageBoxTest, OkBoxShowsTheConfiguredCaption) {
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  auto answer = ShowBox(MB_OK);
  HWND box = driver_.Find(kBoxTitle, L"#32770");
  ASSERT_NE(box, nullptr);
  const std::string ok = OkButtonOf(driver_.Texts(box));
  EXPECT_TRUE(WaitForCaption(box, ok, "&Aceptar")) << driver_.Texts(box)[ok];
  EXPECT_EQ(driver_.Texts(box)["65535"], "Text of the box");
  ASSERT_TRUE(driver_.Press(box, std::stoi(ok)));
  EXPECT_EQ(answer.get(), IDOK);
}

TEST_F(MessageBoxTest, YesNoBoxGetsYesAndNoButNeverTheOkCaption) {
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  auto answer = ShowBox(MB_YESNO);
  HWND box = driver_.Find(kBoxTitle, L"#32770");
  ASSERT_NE(box, nullptr);
  // Captions are set in the order OK, No, Yes: once Yes reads right, all are done.
  ASSERT_TRUE(WaitForCaption(box, "6", "&Sí"));
  const auto texts = driver_.Texts(box);
  EXPECT_EQ(texts.at("7"), "&No");
  for (const auto& [id, text] : texts) EXPECT_NE(text, "&Aceptar") << "control " << id;
  ASSERT_TRUE(driver_.Press(box, IDNO));
  EXPECT_EQ(answer.get(), IDNO);
}

TEST_F(MessageBoxTest, EmptyCaptionKeepsTheSystemCaption) {
  SetCaptions(L"&Aceptar", L"&Sí", L"");
  auto answer = ShowBox(MB_YESNO);
  HWND box = driver_.Find(kBoxTitle, L"#32770");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(WaitForCaption(box, "6", "&Sí"));
  EXPECT_EQ(driver_.Texts(box).at("7"), "&No");  // the system's own
  SetCaptions(L"&Aceptar", L"&Sí", L"N&ein");     // changes only later boxes
  ASSERT_TRUE(driver_.Press(box, IDYES));
  EXPECT_EQ(answer.get(), IDYES);
}

TEST_F(MessageBoxTest, BoxesOfTwoThreadsAtOnceEachGetTheirCaptions) {
  // The end-of-run error box on the main thread while the cancel question is open.
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  auto question = ShowBox(MB_YESNO, nullptr, L"Question box");
  HWND questionBox = driver_.Find(L"Question box", L"#32770");
  ASSERT_NE(questionBox, nullptr);
  auto error = ShowBox(MB_OK, nullptr, L"Error box");
  HWND errorBox = driver_.Find(L"Error box", L"#32770");
  ASSERT_NE(errorBox, nullptr);
  const std::string ok = OkButtonOf(driver_.Texts(errorBox));
  EXPECT_TRUE(WaitForCaption(errorBox, ok, "&Aceptar"));
  EXPECT_TRUE(WaitForCaption(questionBox, "6", "&Sí"));
  ASSERT_TRUE(driver_.Press(errorBox, std::stoi(ok)));
  EXPECT_EQ(error.get(), IDOK);
  ASSERT_TRUE(driver_.Press(questionBox, IDYES));
  EXPECT_EQ(question.get(), IDYES);
}

TEST_F(MessageBoxTest, ProgressDialogWithTheSameTitleKeepsItsCancelCaption) {
  // The end-of-run box: same title as the (hidden) progress dialog, owned by it, shown
  // from the main thread.
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  ASSERT_TRUE(theApp.InitDialog());
  HWND dialog = theApp.dialog_->GetSafeHwnd();
  ::ShowWindow(dialog, SW_HIDE);
  const std::wstring title = SfxConfig::GetValue(kStringSection, kSfxTitleCaptionBar);
  auto answer = ShowBox(MB_OK, dialog, title.c_str());
  HWND box = driver_.Find(title, L"#32770", dialog);
  ASSERT_NE(box, nullptr) << "windows of this process:" << OwnWindows();
  const std::string ok = OkButtonOf(driver_.Texts(box));
  EXPECT_TRUE(WaitForCaption(box, ok, "&Aceptar"));
  wchar_t cancel[64] = L"";
  ::GetDlgItemTextW(dialog, IDCANCEL, cancel, 64);
  EXPECT_STREQ(cancel, L"Cancelar");
  ASSERT_TRUE(driver_.Press(box, std::stoi(ok)));
  EXPECT_EQ(answer.get(), IDOK);
  theApp.Cleanup();
  EXPECT_EQ(theApp.uiThreadCount_, 0);
}

// What the system was asked to show: the style of every message box that this thread
// creates while it lives, as the box's dialog receives it (its initialisation carries the
// box's parameters), and each box is answered at once with its first button.
class BoxStyleRecorder {
 public:
  BoxStyleRecorder()
      : hook_(::SetWindowsHookExW(WH_CALLWNDPROC, &Record, nullptr, ::GetCurrentThreadId())) {
    styles_.clear();
  }
  ~BoxStyleRecorder() {
    if (hook_ != nullptr) ::UnhookWindowsHookEx(hook_);
  }
  BoxStyleRecorder(const BoxStyleRecorder&) = delete;
  BoxStyleRecorder& operator=(const BoxStyleRecorder&) = delete;

  bool hooked() const { return hook_ != nullptr; }
  static const std::vector<DWORD>& styles() { return styles_; }

 private:
  static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG) {
      const auto* params = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam);
      if (params != nullptr && params->cbSize == sizeof(MSGBOXPARAMSW)) {
        styles_.push_back(params->dwStyle);
        ::PostMessageW(call->hwnd, WM_COMMAND, IDCANCEL, 0);
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static std::vector<DWORD> styles_;
  HHOOK hook_;
};
std::vector<DWORD> BoxStyleRecorder::styles_;

// Texts in a language written right to left: every box reads right to left and is aligned
// to the right, whatever its buttons. Wine shows such a box as any other, so the test reads
// what the box was asked to be rather than its look.
TEST_F(MessageBoxTest, RightToLeftTextsMakeEveryBoxReadRightToLeft) {
  const BoxStyleRecorder recorder;
  ASSERT_TRUE(recorder.hooked());
  ShowLocalisedMessageBox(nullptr, kBoxTitle, L"Left to right", MB_YESNO);
  SetMessageBoxRightToLeft(true);
  ShowLocalisedMessageBox(nullptr, kBoxTitle, L"\x05D8\x05E7\x05E1\x05D8", MB_OK);
  ShowLocalisedMessageBox(nullptr, kBoxTitle, L"\x05E9\x05D0\x05DC\x05D4?", MB_YESNO);
  SetMessageBoxRightToLeft(false);
  ShowLocalisedMessageBox(nullptr, kBoxTitle, L"Left to right again", MB_OK);

  const std::vector<DWORD> expected = {MB_YESNO, MB_OK | MB_RTLREADING | MB_RIGHT,
                                       MB_YESNO | MB_RTLREADING | MB_RIGHT, MB_OK};
  ASSERT_EQ(BoxStyleRecorder::styles().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    // The system may add its own bits (a task-modal box of no owner, say); these are ours.
    const DWORD ours = MB_TYPEMASK | MB_RTLREADING | MB_RIGHT;
    EXPECT_EQ(BoxStyleRecorder::styles()[i] & ours, expected[i]) << "box " << i;
  }
}

}  // namespace
}  // namespace zelko::test
