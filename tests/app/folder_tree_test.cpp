#include "app/folder_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

using test::FileExists;
using test::MakeFolderLink;
using test::TempFolder;
using test::WriteFileBytes;

TEST(DeleteFolderTreeTest, RemovesNestedFilesAndFoldersReadOnlyOnesToo) {
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

  DeleteFolderTree(tree + L"\\");  // a trailing backslash is taken as the same folder
  EXPECT_FALSE(FileExists(tree));
  EXPECT_TRUE(FileExists(root.path()));
}

TEST(DeleteFolderTreeTest, LeavesShortPathsAlone) {
  TempFolder root;
  ASSERT_TRUE(::CreateDirectoryW((root / L"abc").c_str(), nullptr));
  ASSERT_TRUE(::SetCurrentDirectoryW(root.path().c_str()));
  DeleteFolderTree(L"abc");
  DeleteFolderTree(L"");
  EXPECT_TRUE(FileExists(root / L"abc"));
  ::SetCurrentDirectoryW(TempPath().c_str());
}

TEST(DeleteFolderTreeTest, NeverEntersALinkedFolder) {
  TempFolder root;
  const std::wstring outside = root / L"outside";
  const std::wstring tree = root / L"tree";
  ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(outside + L"\\precious.txt", "keep me"));
  ASSERT_TRUE(::CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\ours.txt", "ours"));
  ASSERT_TRUE(MakeFolderLink(outside, tree + L"\\link"));
  ASSERT_NE(::GetFileAttributesW((tree + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

  DeleteFolderTree(tree);
  EXPECT_EQ(test::ReadFileBytes(outside + L"\\precious.txt"), "keep me");
  EXPECT_FALSE(FileExists(tree + L"\\ours.txt"));

  // The folder given may itself be a link: the link goes at most, never what it points to.
  ASSERT_TRUE(MakeFolderLink(outside, root / L"direct"));
  DeleteFolderTree(root / L"direct");
  EXPECT_EQ(test::ReadFileBytes(outside + L"\\precious.txt"), "keep me");
}

}  // namespace
}  // namespace zelko
