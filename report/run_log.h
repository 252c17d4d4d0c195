// The run log: plain sentences about every step of a run, in the user's temporary folder,
// shared by all runs on the machine. Logging never changes the course of a run: every
// failure to open or write is swallowed.
#pragma once

#include <windows.h>

#include <string>

#include "win/file.h"

namespace zelko {

// One log file opened on its first entry and held for writing until the writer is destroyed.
// A writer that finds the log held by another run writes to a fresh file of its own, and one
// that finds every such file held loses all its entries rather than some.
// SfxLog is the process's writer; tests make their own with a fixed clock.
class RunLogWriter {
 public:
  using Clock = void(WINAPI*)(LPSYSTEMTIME);

  explicit RunLogWriter(Clock clock = ::GetLocalTime) : clock_(clock) {}
  RunLogWriter(const RunLogWriter&) = delete;
  RunLogWriter& operator=(const RunLogWriter&) = delete;

  // Writes "[timestamp] text text2" when either text is not empty and, when
  // `withSystemError` is non-zero, a second line with the caller's last system error and its
  // system text. Leaves the caller's last error as it found it.
  void Write(int level, const std::wstring& text, const std::wstring& text2, int withSystemError);

  bool IsOpen() const { return file_.IsOpen(); }

 private:
  bool Open();
  bool OpenForAppend(const std::wstring& path);
  // The first of "ZelkoSFX_NotLocked.log", "ZelkoSFX_NotLocked2.log", ... in `folder` that no
  // other run holds, emptied; false when every one is held.
  bool OpenFreshNotLockedLog(const std::wstring& folder);
  // Writes one step of an entry; a failed write loses the rest of the step and nothing more.
  void WriteStep(const std::wstring& text);

  Clock clock_;
  CFile file_;
  // Set when every log file was held: no entry of this writer is written from then on.
  bool bGaveUp_ = false;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// Byte form of a log text: U+0000..U+00FF as one byte each, a line feed as CR LF, and any
// other code unit as "\uXXXX" (upper-case hex), so no character ever cuts an entry short.
std::string EncodeLogText(const std::wstring& text);

class SfxLog {
 public:
  static void Write(int level, const std::wstring& text, int withSystemError = 0);
  static void Write(int level, const std::wstring& text, const std::wstring& text2,
                    int withSystemError);
};

}  // namespace zelko
