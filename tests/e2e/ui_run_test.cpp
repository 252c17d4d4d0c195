// Whole runs of a packed installer as the updater service and as a user start it: what
// reaches the updater's pipe, and a run with the progress dialog that ends cleanly.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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

class UiRunTest : public testing::Test {
 protected:
  void SetUp() override {
    ::CreateDirectoryW(temp_.c_str(), nullptr);
    BuildInstaller(work_.path(), {kIni, L"", {}}, installer_);
  }

  std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    for (const auto& line : LogLines(temp_)) texts.push_back(WithoutTimestamp(line));
    return texts;
  }

  // Checks what the run sent: the probe first, then only 4-byte percentages that never go
  // down and never pass 100, all on pipe `pipe` of the server.
  static void ExpectProbeThenPercentages(const std::vector<std::string>& records,
                                         const std::string& pipe) {
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
  }

  TempFolder work_;
  const std::wstring temp_ = work_ / L"temp";
  const std::wstring installer_ = work_ / L"installer.exe";
  const std::wstring primary_ = kProgressPipePrefix + DeriveProgressPipeName();
  const std::wstring fallback_ = kFallbackPipePrefix + DeriveFallbackPipeName();
};

TEST_F(UiRunTest, UpdaterRunProbesTheFirstPipeAndSendsOnlyPercentages) {
  PipeServer server({primary_, fallback_});
  const ProcessResult run = RunInstaller(installer_, L"/kiv", temp_);
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  // Pipe 0 only: the fallback is never tried when the first pipe answers.
  ExpectProbeThenPercentages(server.Flush(), "0");
}

TEST_F(UiRunTest, UpdaterRunUsesTheFallbackPipeWhenTheFirstHasNoServer) {
  PipeServer server({fallback_});
  const ProcessResult run = RunInstaller(installer_, L"/kiv", temp_);
  EXPECT_EQ(run.exitCode, 0u);
  ExpectProbeThenPercentages(server.Flush(), "0");
}

TEST_F(UiRunTest, UpdaterRunWithoutPipeServerGoesOnSilently) {
  const ProcessResult run = RunInstaller(installer_, L"/kiv", temp_);
  EXPECT_EQ(run.exitCode, 0u);
  const auto texts = LogTexts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Program finished with exit code: 0");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "InitDialog..."), 0);
}

TEST_F(UiRunTest, RunWithTheDialogEndsItInTheCleanup) {
  const ProcessResult run = RunInstaller(installer_, L"/sfx_ne", temp_);
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  const auto texts = LogTexts();
  const auto dialog = std::find(texts.begin(), texts.end(), "InitDialog...");
  ASSERT_NE(dialog, texts.end());
  EXPECT_NE(std::find(dialog, texts.end(), "Cleanup..."), texts.end());
  // No failure box was needed, and nothing of the run stays behind.
  EXPECT_EQ(texts.back(), "Program finished with exit code: 0");
  EXPECT_EQ(FolderEntries(temp_), std::vector<std::wstring>{L"ZelkoSFX.log"});
}

}  // namespace
}  // namespace zelko::test
