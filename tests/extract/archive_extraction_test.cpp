#include "extract/archive_extraction.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "app/sfx_app.h"
#include "tests/extract/extract_test_support.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

class ArchiveExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunState();
    target_ = temp_ / L"target";
    ASSERT_TRUE(::CreateDirectoryW(target_.c_str(), nullptr));
  }
  void TearDown() override { ResetRunState(); }

  BOOL Extract(const std::wstring& archive) {
    return ExtractFilesFromArchive(Fixture(archive), target_);
  }

  TempFolder temp_;
  std::wstring target_;
  RecordingHost host_;
  ScopedDecodeHost hostScope_{host_};
};

// Compares the extracted tree with its source: the same names, the same bytes, the source's
// modification time as both creation and last-write time, read-only where the source is.
void ExpectSameTree(const std::wstring& source, const std::wstring& copy) {
  std::vector<std::wstring> sourceNames = FolderEntries(source);
  std::vector<std::wstring> copyNames = FolderEntries(copy);
  std::sort(sourceNames.begin(), sourceNames.end());
  std::sort(copyNames.begin(), copyNames.end());
  ASSERT_EQ(sourceNames, copyNames) << "in folder " << ::testing::PrintToString(copy);
  for (const std::wstring& name : sourceNames) {
    const std::wstring from = source + L"\\" + name;
    const std::wstring to = copy + L"\\" + name;
    WIN32_FILE_ATTRIBUTE_DATA fromData, toData;
    ASSERT_TRUE(::GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &fromData));
    ASSERT_TRUE(::GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &toData));
    if (fromData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ASSERT_TRUE(toData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      ExpectSameTree(from, to);
      continue;
    }
    EXPECT_TRUE(ReadFileBytes(from) == ReadFileBytes(to)) << "content of " << to.size();
    EXPECT_EQ(0, ::CompareFileTime(&fromData.ftLastWriteTime, &toData.ftLastWriteTime));
    EXPECT_EQ(0, ::CompareFileTime(&fromData.ftLastWriteTime, &toData.ftCreationTime));
    EXPECT_EQ(fromData.dwFileAttributes & FILE_ATTRIBUTE_READONLY,
              toData.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
  }
}

std::vector<uint32_t> Sorted(std::vector<uint32_t> amounts) {
  std::sort(amounts.begin(), amounts.end());
  return amounts;
}

TEST_F(ArchiveExtractionTest, EveryMethodReproducesTheTree) {
  const wchar_t* const archives[] = {
      L"tree_lzma_solid.7z", L"tree_lzma_nonsolid.7z", L"tree_lzma2.7z",
      L"tree_bcj_lzma.7z",   L"tree_bcj2.7z",          L"tree_copy.7z",
      L"tree_arm64.7z",      L"tree_delta.7z",         L"tree_plain_header.7z",
      L"tree_lzma2_blocks.7z",
  };
  const std::wstring before = CurrentDirectory();
  for (const wchar_t* archive : archives) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(archive)));
    const std::wstring target = temp_ / archive;
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(ExtractFilesFromArchive(Fixture(archive), target));
    ExpectSameTree(Fixture(L"tree"), target);
    EXPECT_EQ(kSfxNoError, theApp.error_.code_);
    EXPECT_EQ(before, CurrentDirectory());
  }
  // The source really has a read-only file, so the attribute check above means something.
  // Both files carry exactly the stored bits: the archive bit, and read-only where stored.
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY),
            ::GetFileAttributesW((temp_ / L"tree_copy.7z\\readonly.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE),
            ::GetFileAttributesW((temp_ / L"tree_copy.7z\\docs\\sub\\readme.txt").c_str()));
}

TEST_F(ArchiveExtractionTest, ProgressOfStoredEntries) {
  struct Case {
    const wchar_t* archive;
    std::vector<uint32_t> amounts;
  };
  // Stored data is read in steps of 256 KiB, each reporting the one before it; the output
  // of the last two steps is not reported. The file is written in pieces of 4 MiB while the
  // folder is read, so the writes come between the steps; every KB is reported once.
  std::vector<uint32_t> tenMiB = {1};
  tenMiB.insert(tenMiB.end(), 38, 256);
  tenMiB.insert(tenMiB.end(), {4096, 4096, 2048, 1});  // 4 MiB chunks, then 1 for the entry
  const Case cases[] = {
      {L"progress_10m.7z", tenMiB},
      {L"progress_1000.7z", {0, 1}},                // one step; a chunk under 1 KB reports 0
      {L"progress_empty.7z", {1}},                  // no data: no write, still the entry
      {L"progress_dir.7z", {}},                     // directories report nothing
      {L"empty_archive.7z", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.archive)));
    host_.amounts.clear();
    EXPECT_TRUE(Extract(c.archive));
    EXPECT_EQ(Sorted(c.amounts), Sorted(host_.amounts));
    if (!c.amounts.empty()) EXPECT_EQ(1u, host_.amounts.back());  // the entry, at its end
  }
  EXPECT_EQ(10485760u, ReadFileBytes(target_ + L"\\ten.bin").size());
  EXPECT_TRUE(FileExists(target_ + L"\\empty.txt"));
  EXPECT_TRUE(FileExists(target_ + L"\\a\\b"));
}

TEST_F(ArchiveExtractionTest, ProgressOfEveryCoder) {
  // One decoder step: the coder reports nothing, only the write and the entry do.
  for (const wchar_t* archive : {L"lzma_small.7z", L"lzma2_small.7z"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(archive)));
    host_.amounts.clear();
    ASSERT_TRUE(Extract(archive));
    EXPECT_EQ((std::vector<uint32_t>{0, 1}), host_.amounts);
  }

  // Many steps: the first reports 1, each at least 1, the last step's output is not
  // reported, and the file's pieces are written (8192 KB in all) between the steps; the
  // entry's 1 comes last. So the decoding moves the bar about as far as the writing does,
  // whatever the coder.
  for (const wchar_t* archive : {L"lzma_big.7z", L"lzma2_big.7z", L"copy_big.7z"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(archive)));
    host_.amounts.clear();
    ASSERT_TRUE(Extract(archive));
    const std::vector<uint32_t>& a = host_.amounts;
    ASSERT_GT(a.size(), 10u);
    EXPECT_EQ(1u, a.front());
    EXPECT_EQ(1u, a.back());
    uint64_t total = 0;
    for (size_t i = 0; i + 1 < a.size(); ++i) {
      EXPECT_GE(a[i], 1u);
      total += a[i];
    }
    // The decoding's 8192 KB less at most the last two steps (256 KiB at most each) and the
    // dropped remainders (under 1 KB a step), and the writes' 8192 KB exactly.
    EXPECT_LE(total, 2 * 8192u);
    EXPECT_GE(total + 2 * 256 + a.size(), 2 * 8192u);
  }
}

TEST_F(ArchiveExtractionTest, BadArchivesFailWithTheirCondition) {
  struct Case {
    const wchar_t* archive;
    int code;
    const char* logText;
  };
  const Case cases[] = {
      {L"not_an_archive.7z", 150213, "Extract Files NO_ARCHIVE"},
      {L"ppmd.7z", 150203, "Extract Files ERROR_UNSUPPORTED"},
      {L"crc_flipped.7z", 150202, "Extract Files ERROR_CRC"},
      {L"lzma_flipped.7z", 150200, "Extract Files ERROR_DATA"},
      {L"truncated.7z", 150205, "Extract Files ERROR_INPUT_EOF"},
      // Without a names property every entry has the empty name, refused like a hostile one.
      {L"no_names.7z", 150212, "Refused archive entry outside the target folder: \r\n"},
      // Right check sums, but a names property too short to hold its own first byte.
      {L"names_size_zero.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      // Right check sums, but one property of the entry given twice (header_named.7z, the
      // same header with each property once, extracts).
      {L"repeated_names.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      {L"repeated_times.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      {L"repeated_attributes.7z", 150212, "Extract Files ERROR_ARCHIVE"},
  };
  const std::wstring before = CurrentDirectory();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.archive)));
    ResetRunState();
    LogCapture log;
    EXPECT_FALSE(Extract(c.archive));
    EXPECT_EQ(c.code, theApp.error_.code_);
    EXPECT_NE(std::string::npos, log.Text().find(c.logText)) << log.Text();
    EXPECT_NE(std::string::npos, log.Text().find("ExtractFilesFromArchive failed"));
    EXPECT_TRUE(FolderEntries(target_).empty());
    EXPECT_EQ(before, CurrentDirectory());
  }
}

// The hand-made header that the refused ones above repeat a property of: read as it stands, its
// name, time and attributes reach the file.
TEST_F(ArchiveExtractionTest, HandMadeHeaderWithEachPropertyOnce) {
  ASSERT_TRUE(Extract(L"header_named.7z"));
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, FolderEntries(target_));
  const std::wstring file = target_ + L"\\a.txt";
  EXPECT_EQ("hello from a hand-made archive\n", ReadFileBytes(file));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  const ULARGE_INTEGER written{{data.ftLastWriteTime.dwLowDateTime,
                                data.ftLastWriteTime.dwHighDateTime}};
  EXPECT_EQ(126596919670000000u, written.QuadPart);  // 2002-03-04 05:06:07 UTC
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), data.dwFileAttributes);
}

TEST_F(ArchiveExtractionTest, MissingArchive) {
  LogCapture log;
  const std::wstring missing = temp_ / L"missing.7z";
  EXPECT_FALSE(ExtractFilesFromArchive(missing, target_));
  EXPECT_EQ(150213, theApp.error_.code_);
  std::string expected = "InFile_OpenW failed with archive path: ";
  for (wchar_t c : missing) expected.push_back(static_cast<char>(c));
  EXPECT_NE(std::string::npos, log.Text().find(expected)) << log.Text();
  EXPECT_EQ(std::string::npos, log.Text().find("Extract Files"));
}

TEST_F(ArchiveExtractionTest, UnknownSdkResultsSetNoCondition) {
  for (SRes result : {13, 14, 15, 0}) {
    SetExtractErrorCondition(result);
    EXPECT_EQ(kSfxNoError, theApp.error_.code_) << result;
  }
  theApp.bCancelled_ = TRUE;
  SetExtractErrorCondition(SZ_ERROR_DATA);
  EXPECT_EQ(kSfxNoError, theApp.error_.code_);
}

TEST_F(ArchiveExtractionTest, HostileNamesWriteNothing) {
  for (int n = 0; n < 10; ++n) {
    const std::wstring archive = L"hostile_" + std::to_wstring(n) + L".7z";
    std::string name = ReadFileBytes(Fixture(L"hostile_" + std::to_wstring(n) + L".name"));
    name.pop_back();  // line feed
    SCOPED_TRACE(name);
    ResetRunState();
    LogCapture log;
    EXPECT_FALSE(Extract(archive));
    EXPECT_EQ(150212, theApp.error_.code_);
    EXPECT_NE(std::string::npos,
              log.Text().find("Refused archive entry outside the target folder: " + name))
        << log.Text();
    EXPECT_TRUE(FolderEntries(target_).empty());  // not even the harmless first entry
    EXPECT_EQ(std::vector<std::wstring>{L"target"}, FolderEntries(temp_.path()));
  }
}

TEST_F(ArchiveExtractionTest, ExistingFilesAreReplacedUnlessLocked) {
  const std::wstring file = target_ + L"\\small.bin";
  ASSERT_TRUE(WriteFileBytes(file, std::string(5000, 'x')));
  ASSERT_TRUE(Extract(L"progress_1000.7z"));
  EXPECT_EQ(1000u, ReadFileBytes(file).size());

  // A file that cannot be opened for writing: held open without write sharing.
  ScopedFileHandle held(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  LogCapture log;
  EXPECT_FALSE(Extract(L"progress_1000.7z"));
  EXPECT_EQ(150210, theApp.error_.code_);
  EXPECT_NE(std::string::npos, log.Text().find("can not open output filesmall.bin"))
      << log.Text();
}

TEST_F(ArchiveExtractionTest, ReadOnlyFileIsNotReplaced) {
  const std::wstring file = target_ + L"\\small.bin";
  ASSERT_TRUE(WriteFileBytes(file, std::string(5000, 'x')));
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    ScopedFileHandle probe(::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    // Windows refuses; Wine run as root does not.
    if (probe) GTEST_SKIP() << "this file system lets the process write a read-only file";
  }
  EXPECT_FALSE(Extract(L"progress_1000.7z"));
  EXPECT_EQ(150210, theApp.error_.code_);
  EXPECT_EQ(5000u, ReadFileBytes(file).size());
}

TEST_F(ArchiveExtractionTest, CancelWhileDecodingStopsAtTheNextStep) {
  host_.onProgress = [](size_t count, uint32_t) {
    if (count == 3) {
      theApp.bFinished_ = TRUE;
      theApp.bCancelled_ = TRUE;
    }
  };
  for (const wchar_t* archive : {L"lzma_big.7z", L"lzma2_big.7z", L"copy_big.7z"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(archive)));
    ResetRunState();
    host_.amounts.clear();
    LogCapture log;
    EXPECT_FALSE(Extract(archive));        // the partial folder fails its check sum
    EXPECT_EQ(3u, host_.amounts.size());  // no step after the cancel reported anything
    EXPECT_EQ(kSfxNoError, theApp.error_.code_);
    EXPECT_EQ(std::string::npos, log.Text().find("not SZ_OK"));
    EXPECT_EQ(std::string::npos, log.Text().find("state or status"));
    EXPECT_FALSE(FileExists(target_ + L"\\big.bin"));
  }
}

TEST_F(ArchiveExtractionTest, CancelBetweenEntriesKeepsWhatWasDone) {
  // Entries of the non-solid tree: four folders, then b_empty.txt, then a_first.bin, ...
  host_.onProgress = [](size_t, uint32_t amount) {
    if (amount == 1) theApp.bFinished_ = theApp.bCancelled_ = TRUE;
  };
  EXPECT_TRUE(Extract(L"tree_lzma_nonsolid.7z"));
  EXPECT_EQ(kSfxNoError, theApp.error_.code_);
  EXPECT_TRUE(FileExists(target_ + L"\\b_empty.txt"));
  EXPECT_FALSE(FileExists(target_ + L"\\a_first.bin"));
}

TEST_F(ArchiveExtractionTest, CancelWhileWritingLeavesAShorterFile) {
  host_.onProgress = [](size_t, uint32_t amount) {
    if (amount == 4096) theApp.bFinished_ = theApp.bCancelled_ = TRUE;
  };
  LogCapture log;
  EXPECT_FALSE(Extract(L"progress_10m.7z"));
  EXPECT_EQ(kSfxNoError, theApp.error_.code_);
  EXPECT_EQ(4194304u, ReadFileBytes(target_ + L"\\ten.bin").size());
  EXPECT_NE(std::string::npos, log.Text().find("can not write output file: ten.bin"));
}

// The user-interface thread opens the question after the first 4 MiB; while it is open no
// chunk is written, and after "No" the file is completed.
TEST_F(ArchiveExtractionTest, PauseWhileWritingHoldsTheNextChunk) {
  bool asked = false;
  host_.onProgress = [&asked](size_t, uint32_t amount) {
    if (amount == 4096 && !asked) {  // after the first 4 MiB chunk
      asked = true;
      BeginPause();
    }
  };
  const std::wstring file = target_ + L"\\ten.bin";
  std::thread ui([&] {
    AnswerPause([&] {
      ::Sleep(50);  // give the writer time to go wrong; correctness does not depend on it
      EXPECT_EQ(4194304u, ReadFileBytes(file).size());
    });
  });
  EXPECT_TRUE(Extract(L"progress_10m.7z"));
  ui.join();
  EXPECT_EQ(10485760u, ReadFileBytes(file).size());
  const std::vector<uint32_t>& a = host_.amounts;
  EXPECT_EQ(2, std::count(a.begin(), a.end(), 4096u));
  EXPECT_EQ(1, std::count(a.begin(), a.end(), 2048u));
  EXPECT_EQ(1u, a.back());
}

// A pause seen between entries waits, then reports 1 KB more before the next entry.
TEST_F(ArchiveExtractionTest, PauseBetweenEntriesReportsOneMore) {
  host_.onProgress = [](size_t count, uint32_t amount) {
    if (amount == 1 && count == 1) BeginPause();
  };
  std::thread ui([] { AnswerPause(); });
  EXPECT_TRUE(Extract(L"tree_copy.7z"));
  ui.join();
  ASSERT_GE(host_.amounts.size(), 2u);
  EXPECT_EQ(1u, host_.amounts[0]);  // b_empty.txt
  EXPECT_EQ(1u, host_.amounts[1]);  // after the wait
  ExpectSameTree(Fixture(L"tree"), target_);
}

// A full disk (Y: is a 1 MB volume that the test script maps). Every progress report after
// the failed write leaves another error behind, as a lost updater pipe does ("file not
// found"): the condition still carries the write's own error, in its detail and its log.
TEST_F(ArchiveExtractionTest, FullDiskKeepsTheFailedWritesOwnError) {
  if (::GetFileAttributesW(L"Y:\\") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small volume mapped as Y: (scripts/test.sh maps one when run as root)";
  }
  const std::wstring target = L"Y:\\full_target";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  host_.onProgress = [](size_t, uint32_t) { ::SetLastError(ERROR_FILE_NOT_FOUND); };
  LogCapture log;
  EXPECT_FALSE(ExtractFilesFromArchive(Fixture(L"progress_10m.7z"), target));
  EXPECT_EQ(150208, theApp.error_.code_);
  EXPECT_EQ(ERROR_DISK_FULL, static_cast<DWORD>(theApp.error_.detail_));
  const std::string text = log.Text();
  EXPECT_NE(std::string::npos, text.find("] Extract Files ERROR_WRITE\r\n[")) << text;
  EXPECT_NE(std::string::npos, text.find("]    GetLastError(): 112 - ")) << text;
  EXPECT_EQ(std::string::npos, text.find("GetLastError(): 2 - ")) << text;
  ::DeleteFileW((target + L"\\ten.bin").c_str());
  ::RemoveDirectoryW(target.c_str());
}

TEST_F(ArchiveExtractionTest, MissingTargetFolder) {
  const std::wstring before = CurrentDirectory();
  EXPECT_FALSE(ExtractFilesFromArchive(Fixture(L"progress_1000.7z"), temp_ / L"absent"));
  EXPECT_EQ(150330, theApp.error_.code_);
  EXPECT_EQ(before, CurrentDirectory());
}

}  // namespace
}  // namespace zelko::test

namespace zelko::test {
namespace {

// The saved current directory must fit 260 units; a longer one is refused before anything.
TEST(ArchiveExtractionDirectoryTest, CurrentDirectoryTooLong) {
  ResetRunState();
  TempFolder temp;
  std::wstring deep = L"\\\\?\\" + temp.path();
  while (deep.size() < 300) {
    deep += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
  }
  const std::wstring before = CurrentDirectory();
  if (!::SetCurrentDirectoryW(deep.c_str())) {
    GTEST_SKIP() << "this system cannot make a directory of 300 characters current";
  }
  EXPECT_FALSE(ExtractFilesFromArchive(Fixture(L"progress_1000.7z"), temp.path()));
  EXPECT_EQ(150320, theApp.error_.code_);
  EXPECT_EQ(0u, FolderEntries(temp.path()).size() - 1);  // only the deep folder's top
  ::SetCurrentDirectoryW(before.c_str());
  ResetRunState();
}

}  // namespace
}  // namespace zelko::test
