#include "win/format_text.h"

#include <cstdio>

namespace zelko {

void FormatTextV(wchar_t* buffer, size_t size, const wchar_t* format, va_list args) {
  // msvcrt leaves the text unterminated when it fills the whole count.
  _vsnwprintf(buffer, size - 1, format, args);
  buffer[size - 1] = L'\0';
}

void FormatText(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatTextV(buffer, size, format, args);
  va_end(args);
}

void FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  _vsnprintf(buffer, size - 1, format, args);
  va_end(args);
  buffer[size - 1] = '\0';
}

std::wstring DecimalText(long long value) {
  // The magnitude in unsigned arithmetic, so that the smallest value has its digits too.
  unsigned long long rest = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                      : static_cast<unsigned long long>(value);
  wchar_t text[24];
  wchar_t* first = text + 24;
  do {
    *--first = static_cast<wchar_t>(L'0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (value < 0) *--first = L'-';
  return std::wstring(first, text + 24);
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& marker, const std::wstring& by) {
  for (size_t at = text.find(marker); at != std::wstring::npos;
       at = text.find(marker, at + by.size())) {
    text.replace(at, marker.size(), by);
  }
  return text;
}

}  // namespace zelko
