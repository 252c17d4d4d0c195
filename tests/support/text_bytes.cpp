#include "tests/support/text_bytes.h"

#include "win/scoped_handle.h"

namespace zelko::test {

std::string Utf16LeWithBom(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

std::string SystemTextBytes(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  ScopedLocalMemory owner(text);
  std::string bytes;
  for (DWORD i = 0; i < length; ++i) {
    if (text[i] == L'\n') bytes += '\r';
    bytes += static_cast<char>(text[i]);
  }
  return bytes;
}

}  // namespace zelko::test
