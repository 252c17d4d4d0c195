#include "tools/file_bytes.h"

#include <algorithm>

namespace zelko::pack {
namespace {

constexpr size_t kChunk = 1u << 30;

}  // namespace

bool ReadAll(HANDLE file, size_t size, std::string* bytes, DWORD* error) {
  bytes->assign(size, '\0');
  for (size_t offset = 0; offset < size;) {
    DWORD read = 0;
    if (!::ReadFile(file, bytes->data() + offset,
                    static_cast<DWORD>(std::min(size - offset, kChunk)), &read, nullptr)) {
      *error = ::GetLastError();
      return false;
    }
    if (read == 0) {
      *error = ERROR_HANDLE_EOF;
      return false;
    }
    offset += read;
  }
  return true;
}

bool WriteAll(HANDLE file, const char* bytes, size_t size, DWORD* error) {
  for (size_t offset = 0; offset < size;) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes + offset, static_cast<DWORD>(std::min(size - offset, kChunk)),
                     &written, nullptr)) {
      *error = ::GetLastError();
      return false;
    }
    if (written == 0) {
      *error = ERROR_HANDLE_DISK_FULL;
      return false;
    }
    offset += written;
  }
  return true;
}

}  // namespace zelko::pack
