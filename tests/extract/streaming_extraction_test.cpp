// Extraction that streams each folder once, front to back: every coder under damage, cancel
// and a full disk, and the memory a folder larger than the bound takes.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/sfx_app.h"
#include "extract/archive_extraction.h"
#include "tests/extract/extract_test_support.h"
#include "tests/support/temp_folder.h"
#include "win/folder_tree.h"

namespace zelko::test {
namespace {

// Every coder the extraction streams: the tree archives and their copies with the last
// file's check sum broken (make_fixtures.sh).
const wchar_t* const kCoders[] = {L"lzma_solid", L"lzma2",    L"lzma2_blocks", L"bcj_lzma",
                                  L"bcj2",       L"copy",     L"arm64"};

// The files of `folder` and its sub-folders, as paths relative to it.
void ListFiles(const std::wstring& folder, const std::wstring& prefix,
               std::vector<std::wstring>* files) {
  for (const std::wstring& name : FolderEntries(folder)) {
    const std::wstring path = folder + L"\\" + name;
    if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(path, prefix + name + L"\\", files);
    } else {
      files->push_back(prefix + name);
    }
  }
}

// What an interrupted extraction leaves: files of the tree, each whole but at most one, which
// holds the start of its source. Returns how many files are whole.
size_t ExpectPartOfTree(const std::wstring& source, const std::wstring& copy) {
  std::vector<std::wstring> files;
  ListFiles(copy, L"", &files);
  size_t whole = 0, cut = 0;
  for (const std::wstring& file : files) {
    SCOPED_TRACE(::testing::PrintToString(file));
    EXPECT_TRUE(FileExists(source + L"\\" + file));
    const std::string expected = ReadFileBytes(source + L"\\" + file);
    const std::string got = ReadFileBytes(copy + L"\\" + file);
    EXPECT_TRUE(got.size() <= expected.size() && expected.compare(0, got.size(), got) == 0);
    if (got.size() == expected.size()) ++whole;
    else ++cut;
  }
  EXPECT_LE(cut, 1u);
  return whole;
}

void DeleteTree(const std::wstring& folder) {
  DeleteFolderTree(folder, [](int, const std::wstring&, int) {});
}

using StreamingExtractionTest = RecordedRunTest;

// A bad check sum in the last file: everything before it stays, that file is gone, and the
// run fails with the check sum's condition.
TEST_F(StreamingExtractionTest, DamagedCheckSumOfTheLastFile) {
  for (const wchar_t* coder : kCoders) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(coder)));
    ResetRunState();
    const std::wstring target = temp_ / (std::wstring(L"broken_") + coder);
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    LogCapture log;
    EXPECT_FALSE(ExtractFilesFromArchive(Fixture(std::wstring(L"broken_") + coder + L".7z"),
                                         target));
    EXPECT_EQ(150202, theApp.error_.code_);
    EXPECT_NE(std::string::npos, log.Text().find("Extract Files ERROR_CRC")) << log.Text();
    EXPECT_FALSE(FileExists(target + L"\\readonly.txt"));
    std::vector<std::wstring> files;
    ListFiles(target, L"", &files);
    EXPECT_EQ(7u, files.size());  // every other file of the tree
    EXPECT_EQ(7u, ExpectPartOfTree(Fixture(L"tree"), target));
  }
}

// BCJ2 ends exactly, as LZMA does: a range-coder stream with a byte left over is damage,
// although every file came out whole (the streams' ends are known only after the last byte).
TEST_F(StreamingExtractionTest, Bcj2InputsEndExactly) {
  const std::wstring target = temp_ / L"bcj2";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  LogCapture log;
  EXPECT_FALSE(ExtractFilesFromArchive(Fixture(L"bcj2_long_rc.7z"), target));
  EXPECT_EQ(150200, theApp.error_.code_);
  EXPECT_NE(std::string::npos, log.Text().find("Extract Files ERROR_DATA")) << log.Text();
  // Not the LZMA coders' end check: the main, call and jump streams end right.
  EXPECT_EQ(std::string::npos, log.Text().find("state or status are not valid")) << log.Text();
}

// A cancel while a folder is decoded stops within the step: no condition, no file beyond the
// one in hand, and what is there is the tree's.
TEST_F(StreamingExtractionTest, CancelInTheMiddle) {
  host_.onProgress = [](size_t count, uint32_t) {
    if (count == 12) theApp.bFinished_ = theApp.bCancelled_ = TRUE;
  };
  for (const wchar_t* coder : kCoders) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(coder)));
    ResetRunState();
    host_.amounts.clear();
    const std::wstring target = temp_ / (std::wstring(L"cancel_") + coder);
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ExtractFilesFromArchive(Fixture(std::wstring(L"tree_") + coder + L".7z"), target);
    EXPECT_EQ(kSfxNoError, theApp.error_.code_);
    // The decoding and the writing thread may each have had one report under way.
    EXPECT_LE(host_.amounts.size(), 14u);
    EXPECT_GT(8u, ExpectPartOfTree(Fixture(L"tree"), target));
  }
}

// A full disk (Y: is a 1 MB volume that the test script maps) in the middle of the tree: the
// write's condition with its own error, and what was written before stays.
TEST_F(StreamingExtractionTest, FullDiskInTheMiddle) {
  if (::GetFileAttributesW(L"Y:\\") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small volume mapped as Y: (scripts/test.sh maps one when run as root)";
  }
  for (const wchar_t* coder : kCoders) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(coder)));
    ResetRunState();
    const std::wstring target = std::wstring(L"Y:\\full_") + coder;
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    LogCapture log;
    EXPECT_FALSE(ExtractFilesFromArchive(Fixture(std::wstring(L"tree_") + coder + L".7z"),
                                         target));
    EXPECT_EQ(150208, theApp.error_.code_);
    EXPECT_EQ(ERROR_DISK_FULL, static_cast<DWORD>(theApp.error_.detail_));
    EXPECT_NE(std::string::npos, log.Text().find("can not write output file: ")) << log.Text();
    EXPECT_GT(8u, ExpectPartOfTree(Fixture(L"tree"), target));
    DeleteTree(target);
  }
}

// An entry whose path passes 300 characters: made, written and timed through its full path
// (Wine allows long paths in any form; on Windows only the long form passes MAX_PATH), and
// taken back by the tree deletion, which uses the long form too.
TEST_F(StreamingExtractionTest, PathLongerThan300Characters) {
  const std::wstring target = temp_ / L"long";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  theApp.extractedPaths_.clear();
  ASSERT_TRUE(ExtractFilesFromArchive(Fixture(L"long_path.7z"), target));
  std::wstring deep = target;
  for (int i = 0; i < 6; ++i) deep += L"\\long_folder_name_long_folder_name_long_folder_name";
  const std::wstring file = deep + L"\\deep_file.txt";
  ASSERT_GT(file.size(), 300u);
  EXPECT_EQ("deep inside\n", ReadFileBytes(L"\\\\?\\" + file));
  // Remembered by their full paths, the folders first, for a cancel to take back.
  ASSERT_EQ(7u, theApp.extractedPaths_.size());
  EXPECT_EQ(deep, theApp.extractedPaths_[5]);
  EXPECT_EQ(file, theApp.extractedPaths_[6]);
  theApp.extractedPaths_.clear();
  DeleteTree(target);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(target.c_str()));
}

PROCESS_MEMORY_COUNTERS_EX MemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  EXPECT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(),
                                     reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                     sizeof counters));
  return counters;
}

// The process's memory peaks while a folder larger than the extraction's bound is extracted:
// neither may grow by the folder's size. 160 MiB of zeros in one LZMA2 stream with a 1 MiB
// dictionary, whose window is 4 MiB. Windows counts the heap in the private bytes; Wine 8
// reports no private bytes and a page-file peak that the heap does not move, but its working
// set follows every page the decoder touches, so both peaks are read back.
TEST_F(StreamingExtractionTest, FolderLargerThanTheBoundStreams) {
  constexpr SIZE_T kFolder = SIZE_T{160} << 20;
  constexpr SIZE_T kBound = SIZE_T{64} << 20;
  const PROCESS_MEMORY_COUNTERS_EX before = MemoryCounters();
  // The test only means something when the peaks so far leave room to see the folder.
  ASSERT_LT(before.PeakWorkingSetSize, before.WorkingSetSize + kFolder - kBound);
  ASSERT_LT(before.PeakPagefileUsage, before.PagefileUsage + kFolder - kBound);

  const std::wstring target = temp_ / L"large";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  ASSERT_TRUE(ExtractFilesFromArchive(Fixture(L"large_folder.7z"), target));
  const PROCESS_MEMORY_COUNTERS_EX after = MemoryCounters();

  const std::wstring file = target + L"\\zeros.bin";
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(kFolder, (SIZE_T{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
  EXPECT_LT(after.PeakWorkingSetSize,
            std::max(before.PeakWorkingSetSize, before.WorkingSetSize + kBound))
      << "working set before " << before.WorkingSetSize << ", peak before "
      << before.PeakWorkingSetSize << ", peak after " << after.PeakWorkingSetSize;
  EXPECT_LT(after.PeakPagefileUsage,
            std::max(before.PeakPagefileUsage, before.PagefileUsage + kBound))
      << "private bytes before " << before.PagefileUsage << ", peak before "
      << before.PeakPagefileUsage << ", peak after " << after.PeakPagefileUsage;
  ::DeleteFileW(file.c_str());
}

}  // namespace
}  // namespace zelko::test
