#include "app/support_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/leftover_folders.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

using test::FileExists;
using test::MakeAgedFiles;
using test::TempFolder;

// A killed run's folder goes whole, read-only files and all, with a log line; this run's own
// folder, a folder of every other kind, and one whose file is held stay. (Beside a real killed
// run: tests/e2e/run_isolation_test.cpp.)
TEST(RemoveAbandonedSupportFoldersTest, RemovesOnlyWhatKilledRunsLeft) {
  TempFolder temp;
  TempFolder outside;
  const test::LeftoversThatStay stay(temp.path(), outside.path());
  ASSERT_TRUE(MakeAgedFiles(temp / L"2001", {L"config.bin", L"installer.bin"}, 61));
  ASSERT_TRUE(MakeAgedFiles(temp / L"2002", {L"RDC.bin"}, 24 * 60));
  ASSERT_TRUE(::SetFileAttributesW((temp / L"2002\\RDC.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(MakeAgedFiles(temp / L"2003", {L"config.bin"}, 120));  // this run's own
  ASSERT_TRUE(MakeAgedFiles(temp / L"2004", {L"config.bin", L"installer.bin"}, 120));

  test::LogCapture log;
  {
    // Held open by someone: what can be deleted goes, the folder stays and is logged.
    const ScopedFileHandle held(::CreateFileW((temp / L"2004\\config.bin").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    RemoveAbandonedSupportFolders(temp.path() + L"\\", temp / L"2003");
  }
  EXPECT_FALSE(FileExists(temp / L"2001"));
  EXPECT_FALSE(FileExists(temp / L"2002"));
  EXPECT_TRUE(FileExists(temp / L"2003\\config.bin"));
  EXPECT_TRUE(FileExists(temp / L"2004\\config.bin"));
  stay.ExpectUntouched();

  const std::string text = log.Text();
  for (const wchar_t* removed : {L"2001", L"2002"}) {
    EXPECT_NE(text.find("] Removed support folder of an earlier run: " +
                        test::Narrow(temp / removed) + "\r\n"),
              std::string::npos)
        << text;
  }
  EXPECT_NE(text.find("] Cannot remove support folder of an earlier run: " +
                      test::Narrow(temp / L"2004") + "\r\n"),
            std::string::npos)
      << text;
  // Nothing else was removed, so nothing else was logged as removed.
  size_t lines = 0;
  for (size_t at = 0; (at = text.find("Removed support folder", at)) != std::string::npos; ++at) {
    ++lines;
  }
  EXPECT_EQ(lines, 2u);
}

}  // namespace
}  // namespace zelko
