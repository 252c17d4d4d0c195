// Whole runs of a packed installer under the real system: exit codes as a caller sees them,
// the run log, and what stays in the temporary folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

constexpr char kMinimalIni[] =
    "[INSTALL]\n"
    "ProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\n"
    "[STRING]\n"
    "SFX_TITLE_CAPTIONBAR=Demo Setup\n";

class RunTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    BuildInstaller(work_.path(), {kMinimalIni, FixtureFolder() + L"setup_payload.7z"},
                   installer_);
  }
  void TearDown() override { RemoveTree(ZelkoDataFolder()); }

  // The last line is the exit code the process really returned.
  void ExpectFinishedWith(const std::vector<std::string>& lines, DWORD exitCode) {
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(WithoutTimestamp(lines.back()),
              "Program finished with exit code: " + std::to_string(static_cast<int>(exitCode)));
  }

};

TEST_F(RunTest, DebugSwitchLogsTheCommandLineAndStops) {
  const ProcessResult run = Run(L"/sfx_db /sfx_ne \"C:\\a b\\x.msi\" /q");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);

  const auto lines = LogLines(temp_);
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(WithoutTimestamp(line));
  const std::vector<std::string> expected = {
      "Zelko SFX 10.0.0.1 logging started.",
      "CommandParam CmdLine: " + Narrow(QuoteArgument(installer_)) + " /sfx_db /sfx_ne \"C:\\a b\\x.msi\" /q",
      "CommandParam passToSetup_  : \"C:\\a b\\x.msi\" /q",
      "CommandParam bSilent_",
      "CommandParam bDoNotExecute_",
      "CommandParam bDebug_",
      "Program finished with exit code: 0",
  };
  EXPECT_EQ(texts, expected);
  // Nothing but the log in the temporary folder: no support folder was made.
  EXPECT_EQ(FolderEntries(temp_), std::vector<std::wstring>{L"ZelkoSFX.log"});
}

TEST_F(RunTest, SilentRunLeavesOnlyTheLog) {
  const ProcessResult run = Run(L"/sfx_nu /sfx_ne");
  ASSERT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 0u);
  const auto lines = LogLines(temp_);
  ExpectFinishedWith(lines, run.exitCode);
  EXPECT_EQ(FolderEntries(temp_), std::vector<std::wstring>{L"ZelkoSFX.log"});
}

TEST_F(RunTest, MissingProductCodeEndsWith1620AndRemovesTheSupportFolder) {
  InstallerPackage package{"[INSTALL]\nCompression=7z\n"};
  package.pastThePackersChecks = true;  // the packer refuses it
  BuildInstaller(work_.path(), package, installer_);
  const ProcessResult run = Run(L"/sfx_nu");
  EXPECT_EQ(run.exitCode, 1620u);
  const auto lines = LogLines(temp_);
  const bool logged = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return WithoutTimestamp(line) == "Invalid configuration information - missing Product Code";
  });
  EXPECT_TRUE(logged);
  ExpectFinishedWith(lines, run.exitCode);
  EXPECT_EQ(FolderEntries(temp_), std::vector<std::wstring>{L"ZelkoSFX.log"});
}

TEST_F(RunTest, SecondRunIsSeparatedByThreeLineEnds) {
  Run(L"/sfx_db");
  const std::string first = ReadFileBytes(temp_ + L"\\ZelkoSFX.log");
  ASSERT_EQ(first.rfind("[", 0), 0u) << "the first run starts without blank lines";
  Run(L"/sfx_db");
  const std::string both = ReadFileBytes(temp_ + L"\\ZelkoSFX.log");
  ASSERT_GT(both.size(), first.size());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size(), 7), "\r\n\r\n\r\n[");
}

TEST_F(RunTest, RunWhileAnotherProcessHoldsTheLogWritesToNotLocked) {
  ASSERT_TRUE(WriteFileBytes(temp_ + L"\\ZelkoSFX.log", "earlier run\r\n"));
  ASSERT_TRUE(WriteFileBytes(temp_ + L"\\ZelkoSFX_NotLocked.log", "stale\r\n"));
  {
    // As a running instance does: held for writing, readers allowed.
    ScopedFileHandle held(::CreateFileW((temp_ + L"\\ZelkoSFX.log").c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const ProcessResult run = Run(L"/sfx_db");
    EXPECT_EQ(run.exitCode, 0u);
  }
  EXPECT_EQ(ReadFileBytes(temp_ + L"\\ZelkoSFX.log"), "earlier run\r\n");
  const auto lines = LogLines(temp_, L"ZelkoSFX_NotLocked.log");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(WithoutTimestamp(lines.front()), "Zelko SFX 10.0.0.1 logging started.");
  ExpectFinishedWith(lines, 0);
}

}  // namespace
}  // namespace zelko::test
