// rand_s, the runtime's door to the system's strong random generator.
#define _CRT_RAND_S
#include "app/support_folder.h"

#include <cstdlib>

#include "win/format_text.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

constexpr int kAttempts = 10;

// From the system's strong generator: a name another program cannot guess in advance and
// create first. 31 bits keep it a plain non-negative decimal number.
unsigned StrongRandomNumber() {
  unsigned value = 0;
  if (rand_s(&value) != 0) value = static_cast<unsigned>(rand());
  return value & 0x7FFFFFFFu;
}

}  // namespace

DWORD CreateSupportFolder(std::wstring& folder) {
  const std::wstring temp = TempPath();
  if (temp.empty()) return ::GetLastError();
  DWORD error = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    folder = temp + DecimalText(StrongRandomNumber());
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return 0;
    error = ::GetLastError();
  }
  return error != 0 ? error : ERROR_ALREADY_EXISTS;
}

}  // namespace zelko
