#include "report/run_log.h"

#include <cwchar>

#include "win/format_text.h"
#include "win/system_message.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

constexpr wchar_t kLogName[] = L"ZelkoSFX.log";
constexpr wchar_t kNotLockedLogName[] = L"ZelkoSFX_NotLocked.log";
constexpr wchar_t kBackupLogName[] = L"ZelkoSFX_Backup.log";
// Runs beyond the second at the same time take "ZelkoSFX_NotLocked2.log" and on, up to this
// number: enough for the installers a user or a deployment starts together.
constexpr int kLastNotLockedLog = 9;
constexpr LONGLONG kRotateAtBytes = 1048576;
// Entries above this level are dropped; the program writes levels 1 and 2 only.
constexpr int kLevelLimit = 2;
constexpr wchar_t kRunSeparator[] = L"\n\n\n";
constexpr wchar_t kSystemErrorIndent[] = L"   ";
constexpr wchar_t kNoSystemText[] = L"(the system has no text for this code)\n";

std::wstring Timestamp(const SYSTEMTIME& now) {
  wchar_t buffer[64];
  FormatText(buffer, 64, L"[%4d-%02d-%02d %02d:%02d:%02d] ", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
  return buffer;
}

// "GetLastError(): <code> - <system text>"; the system text brings its own line end.
std::wstring SystemErrorLine(DWORD error) {
  wchar_t prefix[48];
  FormatText(prefix, 48, L"GetLastError(): %d - ", static_cast<int>(error));
  const std::wstring text = SystemMessageText(error);
  return std::wstring(prefix) + (text.empty() ? kNoSystemText : text);
}

}  // namespace

std::string EncodeLogText(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() + 8);
  for (wchar_t c : text) {
    if (c == L'\n') {
      bytes += "\r\n";
    } else if (static_cast<unsigned>(c) <= 0xFF) {
      bytes.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      FormatText(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(c) & 0xFFFF);
      bytes += escaped;
    }
  }
  return bytes;
}

void RunLogWriter::Write(int level, const std::wstring& text, const std::wstring& text2,
                         int withSystemError) {
  // The error belongs to the caller's failed operation: take it before any work of ours.
  const DWORD callerError = ::GetLastError();
  if (level > kLevelLimit) return;

  ::AcquireSRWLockExclusive(&lock_);
  if (file_.IsOpen() || (!bGaveUp_ && Open())) {
    SYSTEMTIME now{};
    clock_(&now);
    const std::wstring stamp = Timestamp(now);
    const bool hasText = !text.empty() || !text2.empty();
    if (hasText) WriteStep(stamp + text + text2 + L"\n");
    if (withSystemError != 0) {
      WriteStep(stamp + (hasText ? kSystemErrorIndent : L"") + SystemErrorLine(callerError));
    }
    // Each step went to the system with WriteFile; nothing is held back in this process.
  }
  ::ReleaseSRWLockExclusive(&lock_);
  ::SetLastError(callerError);
}

void RunLogWriter::WriteStep(const std::wstring& text) {
  const std::string bytes = EncodeLogText(text);
  try {
    file_.Write(bytes.data(), bytes.size());
  } catch (const CFileException&) {
    // A full disk or a lost volume must not stop the installation.
  }
}

bool RunLogWriter::OpenForAppend(const std::wstring& path) {
  // Other processes may read the log but not write it.
  if (!file_.Open(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS)) return false;
  file_.SeekToEnd();
  return true;
}

bool RunLogWriter::OpenFreshNotLockedLog(const std::wstring& folder) {
  for (int number = 1; number <= kLastNotLockedLog; ++number) {
    std::wstring path = folder + kNotLockedLogName;
    if (number > 1) path.insert(path.size() - 4, DecimalText(number));  // before ".log"
    // A file that a running instance holds can neither be deleted nor opened: the next one.
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
    if (OpenForAppend(path)) return true;
  }
  return false;
}

bool RunLogWriter::Open() {
  const std::wstring folder = TempPath();
  if (folder.empty()) return false;
  const std::wstring logPath = folder + kLogName;

  if (!OpenForAppend(logPath)) {
    const bool held = ::GetLastError() == ERROR_SHARING_VIOLATION;
    if (!OpenFreshNotLockedLog(folder)) {
      // Every file is another run's: this run's entries are lost, all of them. A later try
      // would land the rest of them in a file that a run has just let go. (Without the folder
      // no run has a file, and the next entry tries again.)
      bGaveUp_ = held;
      return false;
    }
  }

  const int64_t length = file_.GetLength();
  if (length == 0) return true;
  if (length >= kRotateAtBytes) {
    file_.Close();
    const std::wstring backupPath = folder + kBackupLogName;
    ::SetFileAttributesW(backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(backupPath.c_str());
    const bool moved = ::MoveFileW(logPath.c_str(), backupPath.c_str()) != FALSE;
    if (!OpenForAppend(logPath)) return false;
    if (moved) return true;
  }
  // Keep this run's entries apart from the previous run's.
  WriteStep(kRunSeparator);
  return true;
}

void SfxLog::Write(int level, const std::wstring& text, int withSystemError) {
  Write(level, text, std::wstring(), withSystemError);
}

void SfxLog::Write(int level, const std::wstring& text, const std::wstring& text2,
                   int withSystemError) {
  // One writer for the whole process; it lives until the process ends, holding the log.
  static RunLogWriter writer;
  writer.Write(level, text, text2, withSystemError);
}

}  // namespace zelko
