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

// A virtual folder has no file-system path: it is an unusable pick like any other, never a
// folder named after what the browser shows.
TEST_F(FolderBrowserTest, PickWithoutAPathAsksAgain) {
  StartRun(L"/exit=5");
  HWND browser = Browser();
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(driver_.SelectFolder(browser, L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
                                   L"My Computer"));
  // Wine leaves OK enabled for it; a pressed OK delivers the item as picked.
  ASSERT_TRUE(driver_.Press(browser, IDOK));
  ASSERT_TRUE(driver_.WaitHidden(browser));
  Answer(IDYES);
  Pick(picked_);
  EXPECT_EQ(Finish().exitCode, 5u);
  EXPECT_TRUE(Logged("Selected folder has no file system path"));
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(picked_)));
  EXPECT_FALSE(FileExists(L"My Computer"));
  ExpectNoLeftovers();
}

TEST_F(FolderBrowserTest, NoToTheRetryQuestionEndsAsACancel) {
  StartRun(L"/exit=5");
  Pick(locked_);
  Answer(IDNO);
  // Nothing was installed: the code of a cancelled installation, and no condition, so no
  // failure box was shown.
  EXPECT_EQ(Finish().exitCode, 1602u);
  EXPECT_TRUE(Logged("User canceled browse for folder"));
  const auto texts = LogTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Program finished with exit code: 1602");
  for (const auto& text : texts) EXPECT_NE(text.rfind("** Setting Error Condition", 0), 0u);
  ExpectNoLeftovers();
}

// A Cancel answered Yes while the last entry is extracted. The run is held in the browser
// while the user presses Cancel, so the question is certainly open when the extraction
// starts; the one entry is empty, and writing it never looks at the flags, so the extraction
// ends with the question still open. The setup program must not start before the answer,
// and after Yes not at all.
TEST_F(FolderBrowserTest, CancelAnsweredYesAfterTheLastEntryStartsNothing) {
  const std::wstring setup = work_ / L"setup.exe";  // outside the payload
  ASSERT_TRUE(::CopyFileW((FixtureFolder() + L"setup_payload\\setup.exe").c_str(), setup.c_str(),
                          FALSE));
  std::string ini = kIni;
  ini.insert(ini.find('\n') + 1, "RUN=" + Narrow(setup) + "\n");
  BuildInstaller(work_.path(), {ini, FixtureFolder() + L"extract\\progress_empty.7z"}, installer_);

  StartRun(L"/exit=5");
  HWND browser = Browser();
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(driver_.Press(dialog_, IDCANCEL));
  HWND question = driver_.Find(kCaption, kDialogClass, dialog_);
  ASSERT_NE(question, nullptr) << "no cancel question";
  ASSERT_TRUE(driver_.SelectFolder(browser, picked_));
  ASSERT_TRUE(driver_.Press(browser, IDOK));
  // The payload is on disk while the question waits for its answer.
  ASSERT_TRUE(WaitUntil([&] { return FileExists(picked_ + L"\\empty.txt"); }));
  EXPECT_FALSE(FileExists(work_ / L"setup_ran.txt")) << "started while the question was open";
  ASSERT_TRUE(driver_.Press(question, IDYES));

  EXPECT_EQ(Finish().exitCode, 1602u);
  EXPECT_TRUE(Logged("User canceled process"));
  EXPECT_FALSE(Logged("StartInstaller..."));
  EXPECT_FALSE(FileExists(work_ / L"setup_ran.txt"));
  // The picked folder was the user's: what the run put there goes, the folder stays.
  EXPECT_TRUE(FolderEntries(picked_).empty());
  ExpectNoLeftovers();
}

// A Cancel in the middle of thousands of files. The run is held in the browser while the
// user presses Cancel, so the question is open before the first file is written and the
// extraction waits for the answer at its first look at the flags, whatever the timing.
class CancelDuringExtractionTest : public FolderBrowserTest {
 protected:
  void SetUp() override {
    FolderBrowserTest::SetUp();
    if (IsSkipped()) return;
    InstallerPackage package{kIni, FixtureFolder() + L"long_payload.7z"};
    package.fillSizes = true;
    BuildInstaller(work_.path(), package, installer_);
  }

  ProcessResult CancelAndAnswer(int answer) {
    StartRun(L"/exit=7");
    HWND browser = Browser();
    EXPECT_NE(browser, nullptr);
    if (browser == nullptr) return Finish();
    EXPECT_TRUE(driver_.Press(dialog_, IDCANCEL));
    HWND question = driver_.Find(kCaption, kDialogClass, dialog_);
    EXPECT_NE(question, nullptr) << "no cancel question";
    EXPECT_TRUE(driver_.SelectFolder(browser, picked_));
    EXPECT_TRUE(driver_.Press(browser, IDOK));
    if (question != nullptr) {
      EXPECT_TRUE(driver_.Press(question, answer));
    }
    return Finish();
  }
};

TEST_F(CancelDuringExtractionTest, YesStopsTheExtractionAndTakesBackWhatItWrote) {
  const ProcessResult run = CancelAndAnswer(IDYES);
  // A cancel by the user sets no error condition, but nothing was installed: the caller
  // hears the code of a cancelled installation. The setup program never ran.
  EXPECT_EQ(run.exitCode, 1602u);
  EXPECT_TRUE(Logged("User canceled process"));
  for (const auto& text : LogTexts()) {
    EXPECT_NE(text.rfind("** Setting Error Condition", 0), 0u) << "a cancel is no error";
  }
  EXPECT_FALSE(Logged("StartInstaller..."));
  // The picked folder is the user's: it stays, without anything the run put there.
  EXPECT_TRUE(FileExists(picked_));
  EXPECT_TRUE(FolderEntries(picked_).empty());
  ExpectNoLeftovers();
}

TEST_F(CancelDuringExtractionTest, NoResumesTheExtractionAndTheSetupRuns) {
  const ProcessResult run = CancelAndAnswer(IDNO);
  EXPECT_EQ(run.exitCode, 7u);
  EXPECT_FALSE(Logged("User canceled process"));
  // Every file arrived although the extraction waited before the first.
  EXPECT_TRUE(FileExists(picked_ + L"\\data\\1.txt"));
  EXPECT_TRUE(FileExists(picked_ + L"\\data\\3000.txt"));
  EXPECT_TRUE(FileExists(picked_ + L"\\setup_ran.txt"));
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
