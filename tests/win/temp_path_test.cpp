#include "win/temp_path.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace zelko {
namespace {

using test::ScopedTempPath;
using test::TempFolder;

TEST(TempPathTest, GivesTheTemporaryFolderWithItsBackslashOrNothing) {
  TempFolder folder;
  {
    ScopedTempPath tmp(folder.path());
    EXPECT_EQ(TempPath(), folder.path() + L"\\");
  }
  // A folder too long for MAX_PATH gives no folder at all, never a cut path that would put
  // the log and the support folder somewhere else.
  {
    ScopedTempPath tmp(folder.path() + L"\\" + std::wstring(MAX_PATH, L'x'));
    EXPECT_EQ(TempPath(), L"");
  }
}

}  // namespace
}  // namespace zelko
