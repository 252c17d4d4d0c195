// A file opened through CreateFileW whose writes either complete or throw. Callers that must
// not stop on a failed write (the run log, the resource writer) catch CFileException.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "win/scoped_handle.h"

namespace zelko {

// Thrown when a write fails or writes fewer bytes than asked for.
class CFileException {
 public:
  explicit CFileException(DWORD error) : error_(error) {}
  // The system error code of the failed write (ERROR_HANDLE_DISK_FULL for a short write that
  // the system reported as successful).
  DWORD error() const { return error_; }

 private:
  DWORD error_;
};

class CFile {
 public:
  CFile() = default;
  CFile(CFile&&) = default;
  CFile& operator=(CFile&&) = default;

  // Opens `path` with the given access, sharing and disposition. Returns false with the
  // system's last error set when the file cannot be opened; any file held before is closed.
  bool Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition);
  bool IsOpen() const { return handle_.valid(); }
  void Close() { handle_.reset(); }

  // Writes all `size` bytes at the current position or throws CFileException.
  void Write(const void* data, size_t size);
  // Moves to the end of the file; returns false on failure.
  bool SeekToEnd();
  // Length of the open file in bytes, or -1 when it cannot be read.
  int64_t GetLength() const;

  HANDLE get() const { return handle_.get(); }

 private:
  ScopedFileHandle handle_;
};

}  // namespace zelko
