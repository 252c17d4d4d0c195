#include "report/sfx_error.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

using test::SystemTextBytes;
using test::TempFolder;

// The process's log (SfxLog) opens on its first entry and stays open until the process ends,
// so the whole binary gets one temporary folder of its own before any test runs. It is emptied
// at the start of the next run, as the open log cannot be removed at the end of this one.
class LogFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = TempPath() + L"zelko_report_tests";
    test::RemoveTree(folder_);
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", (folder_ + L"\\").c_str()));
  }
  std::wstring LogPath() const { return folder_ + L"\\ZelkoSFX.log"; }

 private:
  std::wstring folder_;
};

LogFolderEnvironment* const g_logFolder = static_cast<LogFolderEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment));

// The bytes the process's log gained since construction, with each entry's timestamp shown
// as "[T] ".
class LogTail {
 public:
  std::string NewEntries() const {
    const std::string bytes = capture_.Text();
    std::string out;
    size_t line = 0;
    while (line < bytes.size()) {
      size_t end = bytes.find('\n', line);
      end = end == std::string::npos ? bytes.size() : end + 1;
      std::string text = bytes.substr(line, end - line);
      if (IsTimestamp(text)) text.replace(0, 22, "[T] ");
      out += text;
      line = end;
    }
    return out;
  }

 private:
  // "[YYYY-MM-DD HH:MM:SS] "
  static bool IsTimestamp(const std::string& line) {
    const char shape[] = "[dddd-dd-dd dd:dd:dd] ";
    if (line.size() < 22) return false;
    for (size_t i = 0; i < 22; ++i) {
      const bool digit = (line[i] >= '0' && line[i] <= '9') || (i < 5 && line[i] == ' ');
      if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
    }
    return true;
  }
  test::LogCapture capture_{g_logFolder->LogPath()};
};

// A configuration file with the given [STRING] lines (UTF-16LE with BOM, as the program finds
// it), made the run's configuration for the life of this object. Null lines: no configuration.
class ScopedConfig {
 public:
  explicit ScopedConfig(const wchar_t* stringLines) {
    if (stringLines == nullptr) {
      theApp.configPath_.clear();
      return;
    }
    const std::wstring text = L"[OPTIONS]\r\nTitle=Test\r\n[STRING]\r\n" +
                              std::wstring(stringLines) + L"\r\n";
    const std::wstring path = dir_ / L"config.bin";
    EXPECT_TRUE(test::WriteFileBytes(path, test::Utf16LeWithBom(text)));
    theApp.configPath_ = path;
  }
  ~ScopedConfig() { theApp.configPath_.clear(); }

 private:
  TempFolder dir_;
};

// "{URL}" in an expected message stands for the build's requirements address.
void ExpectMessage(const std::wstring& actual, const std::wstring& expected) {
  const size_t at = expected.find(L"{URL}");
  if (at == std::wstring::npos) {
    EXPECT_EQ(actual, expected);
    return;
  }
  const std::wstring head = expected.substr(0, at);
  const std::wstring tail = expected.substr(at + 5);
  ASSERT_GT(actual.size(), head.size() + tail.size())
      << "no address in: " << testing::PrintToString(actual);
  EXPECT_EQ(actual.substr(0, head.size()), head);
  EXPECT_EQ(actual.substr(actual.size() - tail.size()), tail);
  const std::wstring address =
      actual.substr(head.size(), actual.size() - head.size() - tail.size());
  EXPECT_EQ(address.find_first_of(L" \n"), std::wstring::npos)
      << "address: " << testing::PrintToString(address);
}

constexpr wchar_t kGermanLabel[] = L"SFX_DLG_ERRCODE=Fehlercode:";

struct MessageCase {
  int code;
  int detail;
  const wchar_t* config;  // lines of [STRING]; null: no configuration file
  const wchar_t* expected;
};

const MessageCase kMessageCases[] = {
    {150120, 0, nullptr, L"This product is already installed.\n\nError code:   150120"},
    {150120, 0, L"SFX_DLG_ERR_ALREADYINSTALLED=Bereits installiert.\r\nSFX_DLG_ERRCODE=Fehlercode:",
     L"Bereits installiert.\n\nFehlercode:  150120"},
    {1618, 0, nullptr,
     L"Another installation of this product is already running.\n\nError code:   1618"},
    {1618, 0, L"SFX_DLG_ERR_ALREADYRUNNING=L\u00e4uft schon.\r\nSFX_DLG_ERRCODE=Fehlercode:",
     L"L\u00e4uft schon.\n\nFehlercode:  1618"},
    {150110, 512, nullptr,
     L"Low disk space. Please, free 512 MB of disk space and run installer again."
     L"\n\nError code:   150110"},
    {150110, 7, kGermanLabel,
     L"Low disk space. Please, free 7 MB of disk space and run installer again."
     L"\n\nFehlercode:  150110"},
    // Every exact marker is replaced; other spellings stay.
    {150110, -3,
     L"SFX_DLG_ERR_DISK_SPACE=[DISK_SPACE][DISK_SPACE] MB, [disk_space], [DISK_SPACE, "
     L"[DISK_SPACE].",
     L"-3-3 MB, [disk_space], [DISK_SPACE, -3.\n\nError code:   150110"},
    {150105, 0, nullptr,
     L"This application cannot be installed on this operating system. Setup will now "
     L"terminate. Please refer to the minimum system requirements at {URL}.\n\nError code:   "
     L"150105"},
    {150105, 0, L"SFX_UNSUPPORTED_OS=Nicht unterst\u00fctzt.",
     L"Nicht unterst\u00fctzt.\n\nError code:   150105"},
    {150205, 0, nullptr, L"\n\nError code:   150205"},
    {150205, 0, L"SFX_DLG_ERR_STATUS=Setup failed.\r\nSFX_DLG_ERRCODE=Fehlercode:",
     L"Setup failed.\n\nFehlercode:  150205"},
    // The marker belongs to the disk-space text alone.
    {150200, 42, L"SFX_DLG_ERR_STATUS=Free [DISK_SPACE] MB.",
     L"Free [DISK_SPACE] MB.\n\nError code:   150200"},
    {150214, 0, L"SFX_DLG_ERR_STATUS=Setup failed.", L""},
};

TEST(SFXErrorTest, ComposesMessageOfEachGroup) {
  for (const MessageCase& c : kMessageCases) {
    SCOPED_TRACE(testing::Message()
                 << c.code << (c.config ? " with configuration" : " without configuration"));
    ScopedConfig config(c.config);
    SFXError error(SfxConfig::GetText);
    error.SetErrorCondition(L"failure", c.code, c.detail);
    EXPECT_EQ(error.code_, c.code);
    EXPECT_EQ(error.detail_, c.detail);
    ExpectMessage(error.message_, c.expected);
  }
}

TEST(SFXErrorTest, GeneralTextCoversExactlyItsCodes) {
  ScopedConfig config(L"SFX_DLG_ERR_STATUS=Setup failed.");
  const int general[] = {150200, 150201, 150202, 150203, 150204, 150205, 150206, 150207, 150208,
                         150209, 150210, 150211, 150212, 150213, 150320, 150330, 150340, 100000,
                         150130, 150140, 150150, 150300, 150310, 150400, 150410,
                         // A run that ended without a result: the general text, as any failure.
                         1603};
  for (int code : general) {
    SFXError error(SfxConfig::GetText);
    error.SetErrorCondition(L"failure", code, 0);
    EXPECT_EQ(error.message_, L"Setup failed.\n\nError code:   " + std::to_wstring(code));
  }
  const int other[] = {99999, 100001, 150100, 150199, 150214, 150301, 150321, 150350, 150401,
                       150420, 150498, 150500, 1602, 1604};
  for (int code : other) {
    SFXError error(SfxConfig::GetText);
    error.SetErrorCondition(L"failure", code, 0);
    EXPECT_EQ(error.code_, code);
    EXPECT_EQ(error.message_, L"") << code;
  }
}

TEST(SFXErrorTest, FirstConditionWinsAndLaterOnesOnlyLog) {
  ScopedConfig config(L"SFX_DLG_ERRCODE=Fehlercode:");
  LogTail log;
  SFXError error(SfxConfig::GetText);
  ::SetLastError(ERROR_DISK_FULL);
  error.SetErrorCondition(L"Not enough space on C:\\", 150110, 300);
  const std::wstring message = error.message_;
  ::SetLastError(ERROR_ACCESS_DENIED);
  error.SetErrorCondition(L"Extraction failed", 150205, 1);
  error.SetErrorCondition(L"Cleanup failed", 150120, 0);

  EXPECT_EQ(error.code_, 150110);
  EXPECT_EQ(error.detail_, 300);
  EXPECT_EQ(message,
            L"Low disk space. Please, free 300 MB of disk space and run installer again."
            L"\n\nFehlercode:  150110");
  EXPECT_EQ(error.message_, message);
  EXPECT_EQ(log.NewEntries(),
            "[T] Not enough space on C:\\\r\n"
            "[T]    GetLastError(): 112 - " + SystemTextBytes(ERROR_DISK_FULL) +
            "[T] ** Setting Error Condition: 150110\r\n"
            "[T] Extraction failed\r\n"
            "[T]    GetLastError(): 5 - " + SystemTextBytes(ERROR_ACCESS_DENIED) +
            "[T] Cleanup failed\r\n");
}

TEST(SFXErrorTest, ConditionWithoutDetailLogsNoSystemError) {
  ScopedConfig config(L"SFX_DLG_ERR_STATUS=Setup failed.");
  LogTail log;
  SFXError error(SfxConfig::GetText);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  error.SetErrorCondition(L"Archive not found", 150213, 0);
  EXPECT_EQ(log.NewEntries(),
            "[T] Archive not found\r\n"
            "[T] ** Setting Error Condition: 150213\r\n");
}

TEST(SFXErrorTest, AppendErrorCode) {
  ScopedConfig config(nullptr);
  SFXError error(SfxConfig::GetText);
  std::wstring message = L"Text";
  error.code_ = 0;
  error.AppendErrorCode(message);
  EXPECT_EQ(message, L"Text");
  error.code_ = 1603;
  error.AppendErrorCode(message);
  EXPECT_EQ(message, L"Text\n\nError code:   1603");
}

// Without a configuration source, not even a configuration file there is asked: the
// built-in texts stand.
TEST(SFXErrorTest, WithoutATextSourceUsesTheBuiltInTexts) {
  ScopedConfig config(L"SFX_DLG_ERR_ALREADYINSTALLED=Bereits installiert.\r\n"
                      L"SFX_DLG_ERR_STATUS=Setup failed.\r\nSFX_DLG_ERRCODE=Fehlercode:");
  const MessageCase cases[] = {
      {150120, 0, nullptr, L"This product is already installed.\n\nError code:   150120"},
      {150205, 0, nullptr, L"\n\nError code:   150205"},
      {150214, 0, nullptr, L""},
  };
  for (const MessageCase& c : cases) {
    SFXError error(nullptr);
    error.SetErrorCondition(L"failure", c.code, c.detail);
    EXPECT_EQ(error.message_, c.expected) << c.code;
  }
}

}  // namespace
}  // namespace zelko
