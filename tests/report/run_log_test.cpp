#include "report/run_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

using test::FileExists;
using test::ReadFileBytes;
using test::ScopedTempPath;
using test::SystemTextBytes;
using test::TempFolder;
using test::WriteFileBytes;

constexpr wchar_t kLog[] = L"ZelkoSFX.log";
constexpr wchar_t kNotLocked[] = L"ZelkoSFX_NotLocked.log";
constexpr wchar_t kBackup[] = L"ZelkoSFX_Backup.log";
constexpr char kSeparator[] = "\r\n\r\n\r\n";

// The writers under test read the time from here.
SYSTEMTIME g_now = {2024, 3, 2, 5, 7, 4, 9, 0};
void WINAPI FixedClock(LPSYSTEMTIME now) { *now = g_now; }
constexpr char kStamp[] = "[2024-03-05 07:04:09] ";

// A handle on `path` with write access, as a second installer running at the same time holds
// its log. Others may read and write but not delete.
ScopedFileHandle HoldForWriting(const std::wstring& path) {
  return ScopedFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string ReplaceFirst(std::string text, const std::string& marker, const std::string& by) {
  const size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), by);
  return text;
}

// One call of Write on a fresh writer in an empty folder, and the whole log it leaves.
struct EntryCase {
  const char* name;
  SYSTEMTIME now;
  int level;
  const wchar_t* text;
  const wchar_t* text2;
  int withSystemError;
  DWORD lastError;       // what the caller leaves in GetLastError before writing
  const char* expected;  // "{sys}" stands for the system's text of lastError
};

constexpr SYSTEMTIME kMarch5 = {2024, 3, 2, 5, 7, 4, 9, 0};

const EntryCase kEntryCases[] = {
    {"plain", kMarch5, 1, L"Extracting archive", L"", 0, 87,
     "[2024-03-05 07:04:09] Extracting archive\r\n"},
    {"year below 1000, both texts, level 2", {999, 12, 5, 31, 23, 59, 58, 0}, 2, L"Folder: ",
     L"C:\\Temp\\x", 0, 87, "[ 999-12-31 23:59:58] Folder: C:\\Temp\\x\r\n"},
    {"second text only", kMarch5, 1, L"", L"second", 0, 87, "[2024-03-05 07:04:09] second\r\n"},
    {"no text", kMarch5, 1, L"", L"", 0, 87, ""},
    {"level 3 dropped", kMarch5, 3, L"detail", L"", 0, 87, ""},
    {"level 3 dropped with system error", kMarch5, 3, L"detail", L"", 1, 2, ""},
    {"line feeds inside", kMarch5, 1, L"one\ntwo", L"\n", 0, 87,
     "[2024-03-05 07:04:09] one\r\ntwo\r\n\r\n"},
    {"Latin-1 as single bytes", kMarch5, 1, L"Caf\u00e9 \u00ff\u0080", L"", 0, 87,
     "[2024-03-05 07:04:09] Caf\xE9 \xFF\x80\r\n"},
    {"above U+00FF escaped, rest kept", kMarch5, 1, L"\u0416ivot \u0100 end",
     L" \u20ac\xD83D\xDE00!", 0, 87,
     "[2024-03-05 07:04:09] \\u0416ivot \\u0100 end \\u20AC\\uD83D\\uDE00!\r\n"},
    {"system error after text", kMarch5, 1, L"Open failed: ", L"a.txt", 1, 2,
     "[2024-03-05 07:04:09] Open failed: a.txt\r\n"
     "[2024-03-05 07:04:09]    GetLastError(): 2 - {sys}"},
    {"system error alone has no indent", kMarch5, 1, L"", L"", 1, 5,
     "[2024-03-05 07:04:09] GetLastError(): 5 - {sys}"},
};

TEST(RunLogWriterTest, WritesEntryBytes) {
  // The system texts end with their own CR LF, which the log stores as CR CR LF.
  const std::string fileNotFound = SystemTextBytes(ERROR_FILE_NOT_FOUND);
  ASSERT_GE(fileNotFound.size(), 3u);
  ASSERT_EQ(fileNotFound.substr(fileNotFound.size() - 3), "\r\r\n");

  for (const EntryCase& c : kEntryCases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    ScopedTempPath tmp(dir.path());
    g_now = c.now;
    const std::wstring text = c.text;
    const std::wstring text2 = c.text2;
    {
      RunLogWriter writer(FixedClock);
      ::SetLastError(c.lastError);
      writer.Write(c.level, text, text2, c.withSystemError);
      EXPECT_EQ(::GetLastError(), c.lastError);
    }
    EXPECT_EQ(ReadFileBytes(dir / kLog),
              ReplaceFirst(c.expected, "{sys}", SystemTextBytes(c.lastError)));
  }
}

// What the first writer of a run finds, and where its entries go.
enum class Backup { kNone, kOld, kOldReadOnly, kFolder };

struct OpenCase {
  const char* name;
  long logSize;  // -1: no log yet
  Backup backup;
  bool rotates;
};

const OpenCase kOpenCases[] = {
    {"no log", -1, Backup::kNone, false},
    {"empty log", 0, Backup::kNone, false},
    {"small log", 6, Backup::kOld, false},
    {"one byte below the limit", 1048575, Backup::kNone, false},
    {"at the limit", 1048576, Backup::kNone, true},
    {"at the limit, old backup", 1048576, Backup::kOld, true},
    {"above the limit, read-only backup", 1048600, Backup::kOldReadOnly, true},
    // A folder of the backup's name cannot be replaced: the run appends to the big log.
    {"at the limit, backup cannot be replaced", 1048576, Backup::kFolder, false},
};

TEST(RunLogWriterTest, OpensSeparatesOrRotates) {
  const std::string entries = std::string(kStamp) + "first\r\n" + kStamp + "second\r\n";
  const std::string oldBackup = "old backup\r\n";
  for (const OpenCase& c : kOpenCases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    ScopedTempPath tmp(dir.path());
    g_now = kMarch5;
    const std::string oldLog = c.logSize < 0 ? "" : std::string(c.logSize, 'o');
    if (c.logSize >= 0) {
      ASSERT_TRUE(WriteFileBytes(dir / kLog, oldLog));
    }
    if (c.backup == Backup::kFolder) {
      ASSERT_TRUE(::CreateDirectoryW((dir / kBackup).c_str(), nullptr));
    } else if (c.backup != Backup::kNone) {
      ASSERT_TRUE(WriteFileBytes(dir / kBackup, oldBackup));
      if (c.backup == Backup::kOldReadOnly) {
        ASSERT_TRUE(::SetFileAttributesW((dir / kBackup).c_str(), FILE_ATTRIBUTE_READONLY));
      }
    }

    {
      RunLogWriter writer(FixedClock);
      writer.Write(1, L"first", L"", 0);
      writer.Write(1, L"second", L"", 0);
    }

    if (c.rotates) {
      EXPECT_EQ(ReadFileBytes(dir / kLog), entries);
      EXPECT_TRUE(ReadFileBytes(dir / kBackup) == oldLog) << "backup is not the old log";
    } else {
      const std::string expected = (oldLog.empty() ? "" : oldLog + kSeparator) + entries;
      EXPECT_TRUE(ReadFileBytes(dir / kLog) == expected)
          << "log holds " << ReadFileBytes(dir / kLog).size() << " bytes, expected "
          << expected.size();
      switch (c.backup) {
        case Backup::kNone: EXPECT_FALSE(FileExists(dir / kBackup)); break;
        case Backup::kFolder:
          EXPECT_NE(::GetFileAttributesW((dir / kBackup).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
          break;
        default: EXPECT_EQ(ReadFileBytes(dir / kBackup), oldBackup); break;
      }
    }
    EXPECT_FALSE(FileExists(dir / kNotLocked));
  }
}

TEST(RunLogWriterTest, EntryWithoutTextStillOpensAndRotates) {
  TempFolder dir;
  ScopedTempPath tmp(dir.path());
  const std::string oldLog(1048576, 'o');
  ASSERT_TRUE(WriteFileBytes(dir / kLog, oldLog));
  RunLogWriter writer(FixedClock);
  writer.Write(1, L"", L"", 0);
  EXPECT_TRUE(writer.IsOpen());
  EXPECT_TRUE(ReadFileBytes(dir / kBackup) == oldLog);
  EXPECT_TRUE(FileExists(dir / kLog));
  EXPECT_EQ(ReadFileBytes(dir / kLog), "");
}

TEST(RunLogWriterTest, EachWriterSeparatesItsRunOnce) {
  TempFolder dir;
  ScopedTempPath tmp(dir.path());
  g_now = kMarch5;
  {
    RunLogWriter first(FixedClock);
    first.Write(1, L"run 1 a", L"", 0);
    first.Write(1, L"run 1 b", L"", 0);
  }
  {
    RunLogWriter second(FixedClock);
    second.Write(1, L"run 2 a", L"", 0);
    second.Write(1, L"run 2 b", L"", 0);
  }
  const std::string s = kStamp;
  EXPECT_EQ(ReadFileBytes(dir / kLog), s + "run 1 a\r\n" + s + "run 1 b\r\n" + kSeparator + s +
                                           "run 2 a\r\n" + s + "run 2 b\r\n");
}

TEST(RunLogWriterTest, HeldLogSendsEntriesToFreshNotLockedLog) {
  TempFolder dir;
  ScopedTempPath tmp(dir.path());
  g_now = kMarch5;
  ASSERT_TRUE(WriteFileBytes(dir / kLog, "held\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir / kNotLocked, "stale entry of an earlier run\r\n"));
  {
    ScopedFileHandle other = HoldForWriting(dir / kLog);
    ASSERT_TRUE(other);
    RunLogWriter writer(FixedClock);
    writer.Write(1, L"a", L"", 0);
    writer.Write(1, L"b", L"", 0);
  }
  EXPECT_EQ(ReadFileBytes(dir / kLog), "held\r\n");
  EXPECT_EQ(ReadFileBytes(dir / kNotLocked), std::string(kStamp) + "a\r\n" + kStamp + "b\r\n");
}

TEST(RunLogWriterTest, WriterHoldsItsLogUntilDestroyed) {
  TempFolder dir;
  ScopedTempPath tmp(dir.path());
  g_now = kMarch5;
  const std::string s = kStamp;
  {
    RunLogWriter first(FixedClock);
    first.Write(1, L"first", L"", 0);
    RunLogWriter second(FixedClock);
    second.Write(1, L"second", L"", 0);
    first.Write(1, L"first again", L"", 0);
  }
  EXPECT_EQ(ReadFileBytes(dir / kLog), s + "first\r\n" + s + "first again\r\n");
  EXPECT_EQ(ReadFileBytes(dir / kNotLocked), s + "second\r\n");
}

// The files runs at the same time write to, in the order they are taken.
const wchar_t* const kLogFamily[] = {
    kLog, kNotLocked, L"ZelkoSFX_NotLocked2.log", L"ZelkoSFX_NotLocked3.log",
    L"ZelkoSFX_NotLocked4.log", L"ZelkoSFX_NotLocked5.log", L"ZelkoSFX_NotLocked6.log",
    L"ZelkoSFX_NotLocked7.log", L"ZelkoSFX_NotLocked8.log", L"ZelkoSFX_NotLocked9.log"};

// Writers alive together, one per run: each keeps a whole log of its own, the third and later
// ones in numbered files, each emptied of an earlier run's entries first; a numbered file
// that another run holds is passed over, never replaced.
TEST(RunLogWriterTest, EachRunAtTheSameTimeKeepsAWholeLog) {
  TempFolder dir;
  ScopedTempPath tmp(dir.path());
  g_now = kMarch5;
  ASSERT_TRUE(WriteFileBytes(dir / L"ZelkoSFX_NotLocked2.log", "stale\r\n"));
  ASSERT_TRUE(WriteFileBytes(dir / L"ZelkoSFX_NotLocked3.log", "held by a run\r\n"));
  const std::string s = kStamp;
  {
    ScopedFileHandle other = HoldForWriting(dir / L"ZelkoSFX_NotLocked3.log");
    ASSERT_TRUE(other);
    std::vector<std::unique_ptr<RunLogWriter>> runs;
    for (int run = 0; run < 4; ++run) {
      runs.push_back(std::make_unique<RunLogWriter>(FixedClock));
      runs.back()->Write(1, L"run " + std::to_wstring(run) + L" starts", L"", 0);
    }
    for (int run = 3; run >= 0; --run) {
      runs[run]->Write(1, L"run " + std::to_wstring(run) + L" ends", L"", 0);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir / kLog), s + "run 0 starts\r\n" + s + "run 0 ends\r\n");
  EXPECT_EQ(ReadFileBytes(dir / kNotLocked), s + "run 1 starts\r\n" + s + "run 1 ends\r\n");
  EXPECT_EQ(ReadFileBytes(dir / L"ZelkoSFX_NotLocked2.log"),
            s + "run 2 starts\r\n" + s + "run 2 ends\r\n");
  EXPECT_EQ(ReadFileBytes(dir / L"ZelkoSFX_NotLocked3.log"), "held by a run\r\n");
  EXPECT_EQ(ReadFileBytes(dir / L"ZelkoSFX_NotLocked4.log"),
            s + "run 3 starts\r\n" + s + "run 3 ends\r\n");
  EXPECT_FALSE(FileExists(dir / L"ZelkoSFX_NotLocked5.log"));
}

// Where no log can be opened the entry is lost, and the caller notices nothing. A writer
// that found every file held writes nothing later either, even once one is free: the rest of
// its entries in a file of another run's would be a log without its beginning.
TEST(RunLogWriterTest, LosesEntrySilentlyWhenNoLogOpens) {
  struct Case {
    const char* name;
    bool missingFolder;
  };
  for (const Case& c : {Case{"temporary folder missing", true}, Case{"every log held", false}}) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    const std::wstring folder = c.missingFolder ? dir / L"missing" : dir.path();
    ScopedTempPath tmp(folder);
    std::vector<ScopedFileHandle> held;
    if (!c.missingFolder) {
      for (const wchar_t* name : kLogFamily) {
        ASSERT_TRUE(WriteFileBytes(dir / name, "held\r\n"));
        held.push_back(HoldForWriting(dir / name));
        ASSERT_TRUE(held.back());
      }
    }
    RunLogWriter writer(FixedClock);
    ::SetLastError(ERROR_ACCESS_DENIED);
    writer.Write(1, L"lost", L"", 1);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(writer.IsOpen());
    if (c.missingFolder) {
      EXPECT_FALSE(FileExists(folder));
    } else {
      held.clear();
      writer.Write(1, L"lost too", L"", 0);
      EXPECT_FALSE(writer.IsOpen());
      for (const wchar_t* name : kLogFamily) EXPECT_EQ(ReadFileBytes(dir / name), "held\r\n");
    }
  }
}

// With the temporary folder back, the next entry opens the log (nothing was held).
TEST(RunLogWriterTest, OpensOnALaterEntryWhenTheFolderComes) {
  TempFolder dir;
  ScopedTempPath tmp(dir / L"later");
  g_now = kMarch5;
  RunLogWriter writer(FixedClock);
  writer.Write(1, L"lost", L"", 0);
  EXPECT_FALSE(writer.IsOpen());
  ASSERT_TRUE(::CreateDirectoryW((dir / L"later").c_str(), nullptr));
  writer.Write(1, L"kept", L"", 0);
  EXPECT_EQ(ReadFileBytes(dir / L"later\\ZelkoSFX.log"), std::string(kStamp) + "kept\r\n");
}

}  // namespace
}  // namespace zelko
