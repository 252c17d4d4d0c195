#include "win/folder_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

using test::FileExists;
using test::FolderEntries;
using test::MakeFolderLink;
using test::TempFolder;
using test::WriteFileBytes;

constexpr wchar_t kFolderFailed[] = L"Attempted to cleanup folder failed: ";

// What DeleteFolderTree wrote to its log, one entry a line: "<level>|<text>|<withSystemError>".
std::vector<std::wstring> g_logged;
void RecordLog(int level, const std::wstring& text, int withSystemError) {
  g_logged.push_back(std::to_wstring(level) + L"|" + text + L"|" + std::to_wstring(withSystemError));
}

class DeleteFolderTreeTest : public testing::Test {
 protected:
  void SetUp() override { g_logged.clear(); }
};

// The rule Windows holds paths to (Wine passes long paths in any form, so it is tested here):
// from MAX_PATH less 12 characters on, a path reaches the file system only in its long form.
TEST(LongPathFormTest, LongPathsGetThePrefix) {
  const std::wstring longTail(240, L'x');
  struct Case {
    std::wstring path;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"C:\\short\\path", L"C:\\short\\path"},
      {L"C:\\" + std::wstring(244, L'x'), L"C:\\" + std::wstring(244, L'x')},  // 247: fits
      {L"C:\\" + std::wstring(245, L'x'), L"\\\\?\\C:\\" + std::wstring(245, L'x')},
      {L"\\\\server\\share\\" + longTail, L"\\\\?\\UNC\\server\\share\\" + longTail},
      {L"\\\\?\\C:\\" + longTail, L"\\\\?\\C:\\" + longTail},  // already long
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, LongPathForm(c.path)) << c.path.size();
}

TEST_F(DeleteFolderTreeTest, RemovesATreeDeeperThanMaxPath) {
  TempFolder root;
  const std::wstring tree = root / L"deep";
  std::wstring folder = tree;
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  while (folder.size() < 400) {
    folder += L"\\" + std::wstring(60, L'd');
    ASSERT_TRUE(::CreateDirectoryW(LongPathForm(folder).c_str(), nullptr));
  }
  ASSERT_TRUE(WriteFileBytes(LongPathForm(folder + L"\\file.txt"), "x"));
  DeleteFolderTree(tree, RecordLog);
  EXPECT_EQ(std::vector<std::wstring>{}, g_logged);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(tree.c_str()));
}

TEST_F(DeleteFolderTreeTest, RemovesNestedFilesAndFoldersReadOnlyOnesToo) {
  TempFolder root;
  const std::wstring tree = root / L"tree";
  ASSERT_TRUE(::CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((tree + L"\\a").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((tree + L"\\a\\b").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((tree + L"\\empty").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\top.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\a\\b\\deep.bin", "y"));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\a\\readonly.txt", "z"));
  ASSERT_TRUE(::SetFileAttributesW((tree + L"\\a\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));

  DeleteFolderTree(tree + L"\\", RecordLog);  // a trailing backslash is taken as the same folder
  EXPECT_FALSE(FileExists(tree));
  EXPECT_TRUE(FileExists(root.path()));
  EXPECT_EQ(g_logged, std::vector<std::wstring>{});
}

TEST_F(DeleteFolderTreeTest, LeavesShortPathsAlone) {
  TempFolder root;
  ASSERT_TRUE(::CreateDirectoryW((root / L"abc").c_str(), nullptr));
  ASSERT_TRUE(::SetCurrentDirectoryW(root.path().c_str()));
  DeleteFolderTree(L"abc", RecordLog);
  DeleteFolderTree(L"", RecordLog);
  EXPECT_TRUE(FileExists(root / L"abc"));
  EXPECT_EQ(g_logged, std::vector<std::wstring>{});
  ::SetCurrentDirectoryW(TempPath().c_str());
}

TEST_F(DeleteFolderTreeTest, NeverEntersALinkedFolder) {
  TempFolder root;
  const std::wstring outside = root / L"outside";
  const std::wstring tree = root / L"tree";
  ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(outside + L"\\precious.txt", "keep me"));
  ASSERT_TRUE(::CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\ours.txt", "ours"));
  ASSERT_TRUE(MakeFolderLink(outside, tree + L"\\link"));
  ASSERT_NE(::GetFileAttributesW((tree + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

  DeleteFolderTree(tree, RecordLog);
  EXPECT_EQ(test::ReadFileBytes(outside + L"\\precious.txt"), "keep me");
  EXPECT_FALSE(FileExists(tree + L"\\ours.txt"));

  // The folder given may itself be a link: the link goes at most, never what it points to.
  ASSERT_TRUE(MakeFolderLink(outside, root / L"direct"));
  DeleteFolderTree(root / L"direct", RecordLog);
  EXPECT_EQ(test::ReadFileBytes(outside + L"\\precious.txt"), "keep me");

  // A link the system would not remove (Wine's way) is logged and left; so is the folder that
  // holds it. Nothing else is named: nothing behind a link was ever tried.
  const std::wstring allowed[] = {
      std::wstring(L"1|") + kFolderFailed + tree + L"\\link|0",
      std::wstring(L"1|") + kFolderFailed + tree + L"|0",
      std::wstring(L"1|") + kFolderFailed + root / L"direct" + L"|0",
  };
  for (const std::wstring& line : g_logged) {
    EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), line), std::end(allowed))
        << testing::PrintToString(line);
  }
}

TEST(TestFolderWritableTest, CreatesTheFolderAndLeavesNoProbeBehind) {
  TempFolder root;
  ASSERT_TRUE(WriteFileBytes(root / L"file.txt", "a file, not a folder"));
  struct Case {
    std::wstring folder;
    bool writable;
  } const cases[] = {
      {root.path(), true},
      {root / L"new\\nested\\folder", true},
      {root / L"file.txt\\below", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.folder));
    const DWORD error = TestFolderWritable(c.folder);
    if (c.writable) {
      EXPECT_EQ(error, 0u);
      EXPECT_NE(::GetFileAttributesW(c.folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    } else {
      EXPECT_NE(error, 0u);
    }
  }
  // The probes were deleted again: only what the test made is there.
  std::vector<std::wstring> names = FolderEntries(root.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"file.txt", L"new"}));
  EXPECT_EQ(FolderEntries(root / L"new\\nested\\folder"), std::vector<std::wstring>{});
}

// The folders made on the way are listed, outermost first, and only those; taking them back
// leaves what existed and any folder that holds something.
TEST(CreateFolderPathTest, ListsWhatItMadeAndTakesBackOnlyThat) {
  TempFolder root;
  ASSERT_TRUE(::CreateDirectoryW((root / L"had").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(root / L"file.txt", "a file, not a folder"));
  struct Case {
    const char* name;
    std::wstring folder;
    std::vector<std::wstring> created;
    bool made;
  } const cases[] = {
      {"under an existing folder, trailing separators", root / L"had\\a/b\\\\",
       {root / L"had\\a", root / L"had\\a/b"}, true},
      {"existing", root / L"had", {}, true},
      {"fails below a file", root / L"file.txt\\x\\y", {}, false},
      {"fails at a name too long for any file system",
       root / L"new\\deeper\\" + std::wstring(300, L'n'), {root / L"new", root / L"new\\deeper"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::wstring> created;
    const DWORD error = CreateFolderPath(c.folder, created);
    EXPECT_EQ(error == 0, c.made) << error;
    EXPECT_EQ(created, c.created);
    RemoveCreatedFolders(created);
    EXPECT_TRUE(created.empty());
    EXPECT_TRUE(FileExists(root / L"had"));
    EXPECT_FALSE(FileExists(root / L"had\\a"));
    EXPECT_FALSE(FileExists(root / L"new"));
  }

  std::vector<std::wstring> created;
  ASSERT_EQ(CreateFolderPath(root / L"had\\a\\b", created), 0u);
  ASSERT_TRUE(WriteFileBytes(root / L"had\\a\\b\\kept.txt", "put there since"));
  RemoveCreatedFolders(created);
  EXPECT_TRUE(FileExists(root / L"had\\a\\b\\kept.txt"));
}

}  // namespace
}  // namespace zelko
