#include "win/temp_path.h"

#include <windows.h>

namespace zelko {

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace zelko
