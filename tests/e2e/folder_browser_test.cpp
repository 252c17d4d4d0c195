// The last way to an installer folder: when neither the all-users nor this user's
// application-data folder can be made, a run with the progress dialog lets the user pick a
// folder in the shell's browser, and asks again when the pick cannot be written.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <string>

#include "tests/helpers/helper_clients.h"
#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

constexpr char kIni[] =
    "[INSTALL]\n"
    "ProductCode={5B0E7C1D-2A3F-4B6C-9D8E-0F1A2B3C4D5E}\n"
    "[STRING]\n"
    "SFX_TITLE_CAPTIONBAR=Demo Setup\n"
    "SFX_DLG_TITLE=Preparing Demo\n"
    "SFX_BTN_CANCEL=Cancel\n"
    "SFX_BTN_OK=Close\n"
    "SFX_BTN_YES=Try again\n"
    "SFX_BTN_NO=Give up\n"
    "SFX_DLG_SELECT_EXTRACT_FILES_FOLDER=Where should the demo files go?\n"
    "SFX_DLG_ERR_RETRY_BROWSE_FOR_FOLDER=That folder cannot be used. Pick another?\n";

// The title of the progress dialog and of the boxes it owns: the retry question, the failure.
constexpr wchar_t kCaption[] = L"Demo Setup";
constexpr wchar_t kDialogClass[] = L"#32770";

// A folder in which no file can be created, not even by an administrator: the test script
// makes it on a read-only volume beside the fixtures (scripts/test_volume.sh).
std::wstring LockedFolder() {
  std::wstring fixtures = FixtureFolder();  // ends in "\\test-fixtures\\"
  fixtures.pop_back();
  return fixtures.substr(0, fixtures.find_last_of(L'\\')) + L"\\test-volume-locked\\locked";
}

std::wstring ShellFolder(int id) {
  wchar_t path[MAX_PATH];
  ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

class FolderBrowserTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    if (!FileExists(locked_)) GTEST_SKIP() << "no read-only folder " << Narrow(locked_);
    InstallerRunTest::SetUp();
    ::CreateDirectoryW(picked_.c_str(), nullptr);
    // A file where each application-data folder's "Zelko" should be: neither can be made.
    for (const auto& blocker : blockers_) {
      RemoveTree(blocker);
      ASSERT_TRUE(WriteFileBytes(blocker, "in the way"));
    }
    BuildInstaller(work_.path(), {kIni, FixtureFolder() + L"setup_payload.7z"}, installer_);
  }
  void TearDown() override {
    for (const auto& blocker : blockers_) ::DeleteFileW(blocker.c_str());
  }

  // Starts a run with the progress dialog; the test plays the user meanwhile.
  void StartRun(const std::wstring& arguments) {
    run_ = std::async(std::launch::async, [this, arguments] { return Run(arguments); });
    dialog_ = driver_.Find(kCaption, kDialogClass);
    ASSERT_NE(dialog_, nullptr) << "no progress dialog";
  }

  // The folder browser the run shows over its dialog, with the configured instruction.
  HWND Browser() {
    HWND browser = driver_.FindOwned(dialog_, kDialogClass);
    EXPECT_NE(browser, nullptr) << "no folder browser";
    if (browser == nullptr) return nullptr;
    bool hasPrompt = false;
    for (const auto& [id, text] : driver_.Texts(browser)) {
      hasPrompt = hasPrompt || text == "Where should the demo files go?";
    }
    EXPECT_TRUE(hasPrompt);
    return browser;
  }

  void Pick(const std::wstring& folder) {
    HWND browser = Browser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(driver_.SelectFolder(browser, folder));
    ASSERT_TRUE(driver_.Press(browser, IDOK));
    ASSERT_TRUE(driver_.WaitHidden(browser));
  }

  // The retry question after an unusable pick, answered with `answer`.
  void Answer(int answer) {
    HWND question = driver_.Find(kCaption, kDialogClass, dialog_);
    ASSERT_NE(question, nullptr) << "no retry question";
    // The box gets its captions from a thread of the run, a moment after it appears.
    std::map<std::string, std::string> texts;
    EXPECT_TRUE(WaitUntil([&] {
      texts = driver_.Texts(question);
      return texts[std::to_string(IDYES)] == "Try again";
    }));
    EXPECT_EQ(texts[std::to_string(IDNO)], "Give up");
    bool hasQuestion = false;
    for (const auto& [id, text] : texts) {
      hasQuestion = hasQuestion || text == "That folder cannot be used. Pick another?";
    }
    EXPECT_TRUE(hasQuestion);
    ASSERT_TRUE(driver_.Press(question, answer));
  }

  ProcessResult Finish() { return run_.get(); }

  const std::wstring picked_ = work_ / L"picked";
  const std::wstring locked_ = LockedFolder();
  const std::wstring blockers_[2] = {ShellFolder(CSIDL_COMMON_APPDATA) + L"\\Zelko",
                                     ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Zelko"};
  WindowDriver driver_;
  HWND dialog_ = nullptr;
  std::future<ProcessResult> run_;
};

TEST_F(FolderBrowserTest, PickedFolderIsUsedAsPicked) {
  ASSERT_TRUE(WriteFileBytes(picked_ + L"\\notes.txt", "the user's own file"));
  StartRun(L"/exit=5");
  Pick(picked_);
  EXPECT_EQ(Finish().exitCode, 5u);
  // No "\Zelko\Setup\<product>" below the pick, and what was there stays.
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(picked_)));
  EXPECT_TRUE(FileExists(picked_ + L"\\setup_ran.txt"));
  EXPECT_EQ(ReadFileBytes(picked_ + L"\\notes.txt"), "the user's own file");
  ExpectNoLeftovers();
}

TEST_F(FolderBrowserTest, UnusablePickAsksAgainAndYesOpensTheBrowserAgain) {
  StartRun(L"/exit=5");
  Pick(locked_);
  Answer(IDYES);
  Pick(picked_);
  EXPECT_EQ(Finish().exitCode, 5u);
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(picked_)));
  EXPECT_TRUE(FileExists(picked_ + L"\\setup_ran.txt"));
  ExpectNoLeftovers();
}

TEST_F(FolderBrowserTest, NoToTheRetryQuestionEndsQuietlyWithZero) {
  StartRun(L"/exit=5");
  Pick(locked_);
  Answer(IDNO);
  EXPECT_EQ(Finish().exitCode, 0u);
  EXPECT_TRUE(Logged("User canceled browse for folder"));
  // No condition: no failure box was shown, and the run ends as a plain one.
  const auto texts = LogTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Program finished with exit code: 0");
  ExpectNoLeftovers();
}

TEST_F(FolderBrowserTest, CancelledBrowserLeavesTheExtractionToFailInTheLastFolder) {
  StartRun(L"/exit=5");
  HWND browser = Browser();
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(driver_.Press(browser, IDCANCEL));
  // The extraction is tried where the last preparation left off, below a blocked folder.
  HWND failure = driver_.Find(kCaption, kDialogClass, dialog_);
  ASSERT_NE(failure, nullptr) << "no failure box";
  EXPECT_TRUE(WaitUntil([&] { return driver_.Texts(failure)[std::to_string(IDOK)] == "Close"; }));
  ASSERT_TRUE(driver_.Press(failure, IDOK));
  const ProcessResult run = Finish();
  EXPECT_TRUE(Logged("User canceled browse for folder"));
  // The extraction cannot enter that folder; the setup program never runs.
  EXPECT_EQ(run.exitCode, 150330u);
  EXPECT_TRUE(Logged("Failed to change current working directory"));
  ExpectNoLeftovers();
}

}  // namespace
}  // namespace zelko::test
