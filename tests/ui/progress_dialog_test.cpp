// The progress dialog on its user-interface thread, driven from another process as a user
// would, while the test's own thread plays the extracting main thread.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/ui/ui_fixture.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace zelko::test {
namespace {

class ProgressDialogTest : public UiTest {
 protected:
  void TearDown() override {
    // As the cleanup ends it; the dialog never outlives its test.
    if (theApp.uiThreadCount_ != 0) theApp.Cleanup();
    EXPECT_EQ(theApp.uiThreadCount_, 0);
    if (theApp.waitEvent_ != nullptr) ::CloseHandle(theApp.waitEvent_);
    theApp.waitEvent_ = nullptr;
  }

  // Starts the dialog and finds it on the screen by its title.
  HWND StartDialog(const std::string& title = kSpanishTitle) {
    EXPECT_TRUE(theApp.InitDialog());
    EXPECT_NE(theApp.dialog_, nullptr);
    if (theApp.dialog_ == nullptr) return nullptr;
    HWND window = theApp.dialog_->GetSafeHwnd();
    EXPECT_EQ(driver_.Find(Wide(title), L"#32770"), window);
    return window;
  }

  // Whether the dialog's percentage text comes to read `percent`.
  bool ShowsPercent(HWND dialog, const std::string& percent) {
    return WaitUntil([&] { return driver_.Texts(dialog)["1008"] == percent; });
  }

  // The cancel question that the dialog owns.
  HWND FindQuestion(HWND dialog) { return driver_.Find(Wide(kSpanishTitle), L"#32770", dialog); }

  static std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      wide.data(), static_cast<int>(wide.size())));
    return wide;
  }

  // The event a paused extraction waits on, created as the extraction does on its first
  // pause, and signalled so the test sees the dialog reset it.
  HANDLE MakeWaitEvent() {
    theApp.waitEvent_ = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return theApp.waitEvent_;
  }

  static bool Signalled(HANDLE event) { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
};

TEST_F(ProgressDialogTest, ShowsTheConfiguredTextsMovesTheBarAndEndsOnRequest) {
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(theApp.uiThreadCount_, 1);

  auto texts = driver_.Texts(dialog);
  EXPECT_EQ(texts["title"], kSpanishTitle);
  EXPECT_EQ(texts["1001"], "Preparando la instalación");
  EXPECT_EQ(texts["1003"], "Espere mientras se preparan los archivos de Demo.");
  EXPECT_EQ(texts["1007"], "Extrayendo archivos...");
  EXPECT_EQ(texts["2"], "Cancelar");
  EXPECT_EQ(texts["1008"], "");

  // The heading is bold Tahoma.
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(dialog, IDC_HEADING),
                                                      WM_GETFONT, 0, 0));
  LOGFONTW heading{};
  ASSERT_EQ(::GetObjectW(font, sizeof(heading), &heading), static_cast<int>(sizeof(heading)));
  EXPECT_STREQ(heading.lfFaceName, L"Tahoma");
  EXPECT_EQ(heading.lfWeight, FW_BOLD);

  // A second start in the same run finds the dialog running.
  EXPECT_TRUE(theApp.InitDialog());
  EXPECT_EQ(theApp.uiThreadCount_, 1);

  theApp.StartProgress(8000);
  HWND bar = ::GetDlgItem(dialog, IDC_PROGRESS_BAR);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10000);
  ReportProgress(3000);
  ReportProgress(653);  // 3,653 of 8,000: 4,566.25 ten-thousandths
  // The dialog's thread draws it when it gets to it.
  EXPECT_TRUE(ShowsPercent(dialog, "45.66%"));
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 4566);
  ASSERT_TRUE(driver_.Capture(dialog, ArtifactFolder() + L"progress_dialog.bmp"));

  ReportProgress(4347);
  EXPECT_TRUE(ShowsPercent(dialog, "100.00%"));
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 10000);
  ReportProgress(1);  // past the total: nothing moves
  EXPECT_EQ(driver_.Texts(dialog)["1008"], "100.00%");

  // The cleanup's request ends the dialog and its thread.
  theApp.Cleanup();
  EXPECT_EQ(theApp.uiThreadCount_, 0);
  EXPECT_FALSE(::IsWindow(dialog));
}

TEST_F(ProgressDialogTest, WithoutStringSectionEverythingIsEmpty) {
  UseConfiguration(L"[INSTALL]\r\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\r\n");
  HWND dialog = StartDialog("");
  ASSERT_NE(dialog, nullptr);
  const auto texts = driver_.Texts(dialog);
  for (const char* id : {"title", "1001", "1003", "1007", "2", "1008"}) {
    EXPECT_EQ(texts.at(id), "") << id;
  }
}

TEST_F(ProgressDialogTest, CancelAnsweredNoPausesThenResumes) {
  SetCaptions(L"&Aceptar", L"&Sí", L"&No");
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  theApp.StartProgress(100);
  ReportProgress(10);
  ASSERT_TRUE(ShowsPercent(dialog, "10.00%"));
  HANDLE event = MakeWaitEvent();

  ASSERT_TRUE(driver_.Press(dialog, IDCANCEL));
  HWND question = FindQuestion(dialog);
  ASSERT_NE(question, nullptr);
  EXPECT_TRUE(theApp.bPaused_);
  EXPECT_FALSE(Signalled(event)) << "a paused extraction must find the event reset";

  ASSERT_TRUE(WaitUntil([&] { return driver_.Texts(question)["6"] == "&Sí"; }));
  auto texts = driver_.Texts(question);
  EXPECT_EQ(texts["title"], kSpanishTitle);
  EXPECT_EQ(texts["65535"], "¿Desea cancelar la instalación?");
  EXPECT_EQ(texts["7"], "&No");
  EXPECT_TRUE(driver_.Capture(question, ArtifactFolder() + L"cancel_question.bmp"));
  // The dialog's own Cancel button has the same id as a lone OK button: never renamed.
  EXPECT_EQ(driver_.Texts(dialog)["2"], "Cancelar");

  // Work reported while the question is open is not counted.
  ReportProgress(40);
  EXPECT_EQ(driver_.Texts(dialog)["1008"], "10.00%");

  ASSERT_TRUE(driver_.Press(question, IDNO));
  ASSERT_EQ(::WaitForSingleObject(event, 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(theApp.bPaused_);
  EXPECT_FALSE(theApp.bFinished_);
  EXPECT_FALSE(theApp.bCancelled_);
  EXPECT_TRUE(::IsWindowVisible(dialog));
  ReportProgress(40);
  EXPECT_TRUE(ShowsPercent(dialog, "50.00%"));
}

TEST_F(ProgressDialogTest, CancelAnsweredYesFinishesCancelsAndHides) {
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  HANDLE event = MakeWaitEvent();
  ASSERT_TRUE(driver_.Press(dialog, IDCANCEL));
  HWND question = FindQuestion(dialog);
  ASSERT_NE(question, nullptr);
  ASSERT_TRUE(driver_.Press(question, IDYES));
  ASSERT_EQ(::WaitForSingleObject(event, 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(theApp.bFinished_);
  EXPECT_TRUE(theApp.bCancelled_);
  EXPECT_FALSE(theApp.bPaused_);
  EXPECT_TRUE(driver_.WaitHidden(dialog));
  // Hidden, not ended: the cleanup ends it.
  EXPECT_TRUE(::IsWindow(dialog));
  EXPECT_EQ(theApp.uiThreadCount_, 1);
}

TEST_F(ProgressDialogTest, EscAndTheCloseBoxAskLikeCancel) {
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  const struct {
    const char* how;
    std::function<bool()> act;
  } ways[] = {
      {"Esc", [&] { return driver_.Key(dialog, VK_ESCAPE); }},
      {"close box", [&] { return driver_.Close(dialog); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    ASSERT_TRUE(way.act());
    HWND question = FindQuestion(dialog);
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(theApp.bPaused_);
    ASSERT_TRUE(driver_.Press(question, IDNO));
    ASSERT_TRUE(WaitUntil([] { return !theApp.bPaused_; }));
    EXPECT_FALSE(theApp.bFinished_);
    EXPECT_TRUE(::IsWindowVisible(dialog));
  }
}

TEST_F(ProgressDialogTest, CancelAfterAnErrorAsksNothingAndReleases) {
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  theApp.error_.code_ = kSfxErrDiskSpace;
  HANDLE event = MakeWaitEvent();
  ::ResetEvent(event);
  ASSERT_TRUE(driver_.Press(dialog, IDCANCEL));
  // Released without a question: the event is set only after any question closed.
  ASSERT_EQ(::WaitForSingleObject(event, 30000), WAIT_OBJECT_0);
  EXPECT_FALSE(theApp.bPaused_);
  EXPECT_FALSE(theApp.bFinished_);
  EXPECT_TRUE(::IsWindowVisible(dialog));
}

// A user who reads right to left, of a configuration with texts in their language: the
// dialog is mirrored as a whole (its Cancel button moves to the left), and the English
// [STRING] fills what the Hebrew section lacks. (How its boxes read: message_box_test.cpp.)
TEST_F(ProgressDialogTest, RightToLeftLanguageMirrorsTheDialogAndItsQuestion) {
  UseConfiguration(
      L"[STRING]\r\nSFX_TITLE_CAPTIONBAR=Demo\r\nSFX_DLG_STATUS=Please wait.\r\n"
      L"SFX_CANCELCONFIRM=Stop?\r\n"
      L"[STRING.he]\r\nSFX_TITLE_CAPTIONBAR=\x05D4\x05EA\x05E7\x05E0\x05D4\r\n"
      L"SFX_BTN_CANCEL=\x05D1\x05D9\x05D8\x05D5\x05DC\r\n");
  theApp.uiLanguage_.name = L"he-IL";
  theApp.uiLanguage_.textSections = {L"STRING.he"};
  theApp.uiLanguage_.bRightToLeft = true;
  SetMessageBoxRightToLeft(true);
  const std::string title = "\xD7\x94\xD7\xAA\xD7\xA7\xD7\xA0\xD7\x94";
  HWND dialog = StartDialog(title);
  ASSERT_NE(dialog, nullptr);

  auto texts = driver_.Texts(dialog);
  EXPECT_EQ(texts["2"], "\xD7\x91\xD7\x99\xD7\x98\xD7\x95\xD7\x9C");
  EXPECT_EQ(texts["1003"], "Please wait.");
  EXPECT_NE(::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  RECT window{};
  RECT cancel{};
  ASSERT_TRUE(::GetWindowRect(dialog, &window));
  ASSERT_TRUE(::GetWindowRect(::GetDlgItem(dialog, IDCANCEL), &cancel));
  EXPECT_LT(cancel.right, (window.left + window.right) / 2) << "Cancel is not on the left";

  ASSERT_TRUE(driver_.Press(dialog, IDCANCEL));
  HWND question = driver_.Find(Wide(title), L"#32770", dialog);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(driver_.Texts(question)["65535"], "Stop?");
  ASSERT_TRUE(driver_.Press(question, IDNO));
  ASSERT_TRUE(WaitUntil([] { return !theApp.bPaused_; }));
}

// Left to right otherwise: the dialog of every other test is not mirrored.
TEST_F(ProgressDialogTest, LeftToRightLanguageKeepsTheLayout) {
  HWND dialog = StartDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
}

}  // namespace
}  // namespace zelko::test
