#include "tests/support/text_bytes.h"

#include "win/system_message.h"

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
  std::string bytes;
  for (wchar_t c : SystemMessageText(error)) {
    if (c == L'\n') bytes += '\r';
    bytes += static_cast<char>(c);
  }
  return bytes;
}

}  // namespace zelko::test
