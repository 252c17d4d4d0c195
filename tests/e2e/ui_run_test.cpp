// Whole runs of a packed installer as the updater service and as a user start it: what
// reaches the updater's pipe, and a run with the progress dialog that ends cleanly. (A user's
// cancel in the middle of an extraction is in folder_browser_test.cpp, where the run can be
// held at a known point.)
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

}  // namespace
}  // namespace zelko::test
