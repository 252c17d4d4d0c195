#include <windows.h>

#include "tools/pack_console.h"
#include "tools/utf_text.h"

namespace zelko::pack {

void WriteLine(OutputStream stream, const std::wstring& line) {
  const std::wstring text = line + L"\n";
  const HANDLE handle =
      ::GetStdHandle(stream == OutputStream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(handle, &mode)) {
    ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::wstring crlf;
  for (const wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  const std::string bytes = Utf8FromUtf16(crlf);
  ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace zelko::pack
