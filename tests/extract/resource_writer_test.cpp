#include "extract/resource_writer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "app/sfx_app.h"
#include "tests/extract/extract_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"

namespace zelko::test {
namespace {

// The test image carries TESTDATA resources 201..204 of these sizes (extract_test_resources.rc).
constexpr WORD kRes1000 = 201, kRes512000 = 202, kRes1024000 = 203, kRes1200000 = 204;

std::string Pattern(size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += "Zelko7!";
  bytes.resize(size);
  return bytes;
}

class ResourceWriterTest : public RecordedRunTest {};

TEST_F(ResourceWriterTest, ChunksAndProgress) {
  struct Case {
    WORD id;
    size_t size;
    BOOL silent, kiv;
    std::vector<uint32_t> amounts;
  };
  const Case cases[] = {
      {kRes1000, 1000, FALSE, FALSE, {}},
      {kRes512000, 512000, FALSE, FALSE, {}},        // one chunk, the last: no progress
      {kRes1024000, 1024000, FALSE, FALSE, {500}},   // the second chunk is the last
      {kRes1200000, 1200000, FALSE, FALSE, {500, 500}},
      {kRes1200000, 1200000, TRUE, TRUE, {500, 500}},  // the updater watches progress
      {kRes1200000, 1200000, TRUE, FALSE, {}},         // nobody watches: one write
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    host_.amounts.clear();
    theApp.bSilent_ = c.silent;
    theApp.bKiv_ = c.kiv;
    const std::wstring path = temp_ / L"out.bin";
    EXPECT_EQ(0, ExtractResourceToFile(path, theApp, c.id, L"TESTDATA"));
    EXPECT_TRUE(ReadFileBytes(path) == Pattern(c.size));
    EXPECT_EQ(c.amounts, host_.amounts);
  }
}

// A resource that never reaches its file is a failure of the run, with the system's reason.
TEST_F(ResourceWriterTest, MissingResourceOrFolder) {
  struct Case {
    std::wstring path;
    WORD id;
    const char* logged;  // null: no "Error creating file" line
    DWORD error;
  } const cases[] = {
      {temp_ / L"none.bin", 999, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {temp_ / L"absent\\out.bin", kRes1000, "Error creating file: ", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ResetRunState();
    LogCapture log;
    EXPECT_EQ(6, ExtractResourceToFile(c.path, theApp, c.id, L"TESTDATA"));
    EXPECT_NE(std::string::npos, log.Text().find("Extracting: "));
    if (c.logged == nullptr) {
      EXPECT_EQ(std::string::npos, log.Text().find("Error creating file"));
    } else {
      std::string expected = c.logged;
      for (wchar_t ch : c.path) expected.push_back(static_cast<char>(ch));
      EXPECT_NE(std::string::npos, log.Text().find(expected)) << log.Text();
    }
    EXPECT_NE(std::string::npos, log.Text().find("Failed to extract resource")) << log.Text();
    EXPECT_EQ(150340, theApp.error_.code_);
    EXPECT_EQ(static_cast<int>(c.error), theApp.error_.detail_);
    EXPECT_FALSE(FileExists(c.path));
  }
}

TEST_F(ResourceWriterTest, CancelLeavesAPartialFile) {
  host_.onProgress = [](size_t, uint32_t) { theApp.bFinished_ = TRUE; };
  const std::wstring path = temp_ / L"out.bin";
  EXPECT_EQ(kResourceCancelled, ExtractResourceToFile(path, theApp, kRes1200000, L"TESTDATA"));
  EXPECT_EQ(512000u, ReadFileBytes(path).size());
  EXPECT_EQ(kSfxNoError, theApp.error_.code_);
}

// A cancel confirmed while "installer.bin" is written is final: the run goes no further, so
// no installer folder is chosen (none emptied, no folder browser).
TEST_F(ResourceWriterTest, CancelWhileTheArchiveIsWrittenEndsTheSetup) {
  host_.onProgress = [](size_t, uint32_t) {
    theApp.bCancelled_ = TRUE;
    theApp.bFinished_ = TRUE;
  };
  LogCapture log;
  theApp.b7zArchive_ = TRUE;
  theApp.installerBinPath_ = temp_ / L"installer.bin";
  theApp.installFolder_.clear();
  EXPECT_FALSE(theApp.SetupInstaller());
  EXPECT_EQ(512000u, ReadFileBytes(theApp.installerBinPath_).size());
  EXPECT_TRUE(theApp.installFolder_.empty());
  EXPECT_EQ(std::string::npos, log.Text().find("Installer folder: ")) << log.Text();
  EXPECT_EQ(kSfxNoError, theApp.error_.code_);
  theApp.installerBinPath_.clear();
}

TEST_F(ResourceWriterTest, PauseHoldsTheNextChunk) {
  host_.onProgress = [](size_t count, uint32_t) {
    if (count == 1) BeginPause();
  };
  const std::wstring path = temp_ / L"out.bin";
  std::thread ui([&] {
    AnswerPause([&] {
      ::Sleep(50);  // a writer that ignored the pause would show here; no result depends on it
      EXPECT_EQ(512000u, ReadFileBytes(path).size());
    });
  });
  EXPECT_EQ(0, ExtractResourceToFile(path, theApp, kRes1200000, L"TESTDATA"));
  ui.join();
  EXPECT_TRUE(ReadFileBytes(path) == Pattern(1200000));
  EXPECT_EQ((std::vector<uint32_t>{500, 500}), host_.amounts);
}

// Y: is a 1 MB volume that the test script maps for this test.
TEST_F(ResourceWriterTest, FullDisk) {
  if (::GetFileAttributesW(L"Y:\\") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no small volume mapped as Y: (scripts/test.sh maps one when run as root)";
  }
  LogCapture log;
  const std::wstring path = L"Y:\\full.bin";
  EXPECT_EQ(29, ExtractResourceToFile(path, theApp, kRes1200000, L"TESTDATA"));
  EXPECT_EQ(150340, theApp.error_.code_);
  EXPECT_NE(std::string::npos, log.Text().find("Failed to extract resource"));
  EXPECT_LT(ReadFileBytes(path).size(), 1200000u);
  ::DeleteFileW(path.c_str());
}

TEST_F(ResourceWriterTest, InstallerFilesUpToTheFirstMissingKey) {
  const std::wstring config = temp_ / L"config.bin";
  ASSERT_TRUE(WriteFileBytes(config, Utf16LeWithBom(L"[INSTALL]\r\nFILE_0=first.txt\r\n"
                                                    L"FILE_1=second.txt\r\nFILE_3=x.txt\r\n")));
  theApp.configPath_ = config;
  theApp.installFolder_ = temp_ / L"install";
  ASSERT_TRUE(::CreateDirectoryW(theApp.installFolder_.c_str(), nullptr));
  EXPECT_TRUE(ExtractInstallerFiles(theApp));
  EXPECT_EQ("first installer file\n", ReadFileBytes(theApp.installFolder_ + L"\\first.txt"));
  EXPECT_EQ("second installer file\n", ReadFileBytes(theApp.installFolder_ + L"\\second.txt"));
  EXPECT_EQ(2u, FolderEntries(theApp.installFolder_).size());

  // A file that cannot be written stops the series with false.
  ASSERT_TRUE(WriteFileBytes(config, Utf16LeWithBom(L"[INSTALL]\r\nFILE_0=no\\such\\dir.txt\r\n")));
  EXPECT_FALSE(ExtractInstallerFiles(theApp));

  // Without FILE_0 nothing would be installed: that is a failure too, not an empty success.
  ResetRunState();
  ASSERT_TRUE(WriteFileBytes(config, Utf16LeWithBom(L"[INSTALL]\r\nFILE_1=second.txt\r\n")));
  EXPECT_FALSE(ExtractInstallerFiles(theApp));
  EXPECT_EQ(150340, theApp.error_.code_);
  EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, theApp.error_.detail_);
  theApp.configPath_.clear();
  theApp.installFolder_.clear();
}

}  // namespace
}  // namespace zelko::test
