#include "win/file.h"

#include <algorithm>

namespace zelko {

bool CFile::Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition) {
  handle_.reset(::CreateFileW(path, access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_.valid();
}

void CFile::Write(const void* data, size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    // WriteFile takes a 32-bit count; larger buffers go in slices.
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 0x40000000u));
    DWORD written = 0;
    if (!::WriteFile(handle_.get(), bytes, chunk, &written, nullptr)) {
      throw CFileException(::GetLastError());
    }
    if (written != chunk) throw CFileException(ERROR_HANDLE_DISK_FULL);
    bytes += written;
    size -= written;
  }
}

bool CFile::SeekToEnd() {
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(handle_.get(), zero, nullptr, FILE_END) != FALSE;
}

int64_t CFile::GetLength() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_.get(), &size)) return -1;
  return size.QuadPart;
}

}  // namespace zelko
