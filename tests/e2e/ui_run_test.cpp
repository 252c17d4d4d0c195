// Whole runs of a packed installer as the updater service and as a user start it: what
// reaches the updater's pipe, a run with the progress dialog that ends cleanly, and a user's
// cancel in the middle of an extraction.
#include <windows.h>

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "tests/helpers/helper_clients.h"
#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "ui/pipe_progress.h"

namespace zelko::test {
namespace {

constexpr char kIni[] =
    "[INSTALL]\n"
    "ProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\n"
    "[STRING]\n"
    "SFX_TITLE_CAPTIONBAR=Demo Setup\n"
    "SFX_DLG_TITLE=Preparing Demo\n"
    "SFX_BTN_CANCEL=Cancel\n";

class UiRunTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    InstallerPackage package{kIni, FixtureFolder() + L"setup_payload.7z"};
    package.fillSizes = true;
    BuildInstaller(work_.path(), package, installer_);
  }
  void TearDown() override { RemoveTree(ZelkoDataFolder()); }

  // Checks what the run sent: the probe first, then only 4-byte percentages that never go
  // down and never pass 100, all on pipe `pipe` of the server.
  static void ExpectProbeThenPercentages(const std::vector<std::string>& records,
                                         const std::string& pipe, unsigned* lastSent = nullptr) {
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().substr(0, records.front().rfind(' ')), pipe + " -");
    unsigned last = 0;
    for (size_t i = 1; i < records.size(); ++i) {
      const std::string& record = records[i];
      ASSERT_EQ(record.substr(0, pipe.size() + 1), pipe + " ") << record;
      const std::string hex = record.substr(pipe.size() + 1, 8);
      ASSERT_EQ(record[pipe.size() + 9], ' ') << "not 4 bytes: " << record;
      const unsigned percent = std::stoul(hex.substr(0, 2), nullptr, 16);
      EXPECT_EQ(hex.substr(2), "000000") << record;
      EXPECT_LE(percent, 100u);
      EXPECT_GE(percent, last);
      last = percent;
    }
    EXPECT_GT(last, 0u) << "the extraction's progress never arrived";
    if (lastSent != nullptr) *lastSent = last;
  }

  const std::wstring primary_ = kProgressPipePrefix + DeriveProgressPipeName();
  const std::wstring fallback_ = kFallbackPipePrefix + DeriveFallbackPipeName();
};

TEST_F(UiRunTest, UpdaterRunProbesTheFirstPipeAndSendsOnlyPercentages) {
  PipeServer server({primary_, fallback_});
  const ProcessResult run = Run(L"/kiv");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  // Pipe 0 only: the fallback is never tried when the first pipe answers.
  ExpectProbeThenPercentages(server.Flush(), "0");
}

TEST_F(UiRunTest, UpdaterRunUsesTheFallbackPipeWhenTheFirstHasNoServer) {
  PipeServer server({fallback_});
  const ProcessResult run = Run(L"/kiv");
  EXPECT_EQ(run.exitCode, 0u);
  ExpectProbeThenPercentages(server.Flush(), "0");
}

// The decoding of an LZMA2 block counts as much as the writing of its files, so the updater
// sees the run come to its end instead of stopping at about two thirds. 8 MiB of random
// bytes: the total is 24 MiB (archive, decoding, writing); what is never reported is the
// output of the last two decoder steps and the parts of a KB that each step drops.
TEST_F(UiRunTest, UpdaterRunOfAnLzma2PayloadComesToTheEnd) {
  InstallerPackage package{kIni, FixtureFolder() + L"extract\\lzma2_big.7z"};
  package.fillSizes = true;
  BuildInstaller(work_.path(), package, installer_);
  PipeServer server({primary_, fallback_});
  const ProcessResult run = Run(L"/kiv");
  EXPECT_EQ(run.exitCode, 0u);
  unsigned last = 0;
  ExpectProbeThenPercentages(server.Flush(), "0", &last);
  EXPECT_GE(last, 95u);
}

TEST_F(UiRunTest, UpdaterRunWithoutPipeServerGoesOnSilently) {
  const ProcessResult run = Run(L"/kiv");
  EXPECT_EQ(run.exitCode, 0u);
  const auto texts = LogTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Program finished with exit code: 0");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "InitDialog..."), 0);
}

TEST_F(UiRunTest, RunWithTheDialogEndsItInTheCleanup) {
  const ProcessResult run = Run(L"/sfx_ne");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  const auto texts = LogTexts();
  const auto dialog = std::find(texts.begin(), texts.end(), "InitDialog...");
  ASSERT_NE(dialog, texts.end());
  EXPECT_NE(std::find(dialog, texts.end(), "Cleanup..."), texts.end());
  // No failure box was needed, and nothing of the run stays behind.
  EXPECT_EQ(texts.back(), "Program finished with exit code: 0");
  ExpectNoLeftovers();
}

// The user presses Cancel while thousands of files are being extracted and answers the
// question; the extraction waits for the answer.
class CancelRunTest : public InstallerRunTest {
 protected:
  static constexpr char kProductCode[] = "{7A2C4E6F-8B0D-4F1A-9C3E-5D7F9B1D3F5A}";

  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(ZelkoDataFolder());
    InstallerPackage package{std::string("[INSTALL]\nProductCode=") + kProductCode +
                          "\n[STRING]\n"
                          "SFX_TITLE_CAPTIONBAR=Demo Setup\n"
                          "SFX_CANCELCONFIRM=Stop the installation?\n"
                          "SFX_BTN_CANCEL=Cancel\n"};
    package.archive = FixtureFolder() + L"long_payload.7z";
    package.fillSizes = true;
    BuildInstaller(work_.path(), package, installer_);
  }
  void TearDown() override { RemoveTree(ZelkoDataFolder()); }

  std::wstring ProductFolder() const {
    return ZelkoDataFolder() + L"\\Setup\\" +
           std::wstring(kProductCode, kProductCode + sizeof(kProductCode) - 1);
  }

  // Starts a run with the dialog, presses Cancel and answers the question with `answer`.
  ProcessResult RunAndCancel(int answer) {
    auto run = std::async(std::launch::async, [this] { return Run(L"/exit=7"); });
    HWND dialog = driver_.Find(L"Demo Setup", L"#32770");
    EXPECT_NE(dialog, nullptr) << "no progress dialog";
    if (dialog != nullptr) {
      EXPECT_TRUE(driver_.Press(dialog, IDCANCEL));
      HWND question = driver_.Find(L"Demo Setup", L"#32770", dialog);
      EXPECT_NE(question, nullptr) << "no cancel question";
      if (question != nullptr) {
        EXPECT_TRUE(driver_.Press(question, answer));
      }
    }
    return run.get();
  }

  WindowDriver driver_;
};

TEST_F(CancelRunTest, YesStopsTheExtractionAndRemovesTheProgramsOwnFolder) {
  const ProcessResult run = RunAndCancel(IDYES);
  // A cancel by the user sets no error condition, but nothing was installed: the caller
  // hears the code of a cancelled installation. The setup program never ran.
  EXPECT_EQ(run.exitCode, 1602u);
  EXPECT_TRUE(Logged("User canceled process"));
  for (const auto& text : LogTexts()) {
    EXPECT_NE(text.rfind("** Setting Error Condition", 0), 0u) << "a cancel is no error";
  }
  EXPECT_FALSE(Logged("StartInstaller..."));
  EXPECT_FALSE(FileExists(ProductFolder())) << "the half-extracted folder stays";
  ExpectNoLeftovers();
}

TEST_F(CancelRunTest, NoResumesTheExtractionAndTheSetupRuns) {
  const ProcessResult run = RunAndCancel(IDNO);
  EXPECT_EQ(run.exitCode, 7u);
  EXPECT_FALSE(Logged("User canceled process"));
  // Every file arrived although the extraction waited in the middle.
  EXPECT_TRUE(FileExists(ProductFolder() + L"\\data\\1.txt"));
  EXPECT_TRUE(FileExists(ProductFolder() + L"\\data\\3000.txt"));
  EXPECT_TRUE(FileExists(ProductFolder() + L"\\setup_ran.txt"));
  ExpectNoLeftovers();
}

}  // namespace
}  // namespace zelko::test
