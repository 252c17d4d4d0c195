#include "win/system_message.h"

#include "win/scoped_handle.h"

namespace zelko {

std::wstring SystemMessageText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  ScopedLocalMemory owner(buffer);
  return length > 0 ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace zelko
