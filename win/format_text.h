// Numbers and printf-style lines as text, for the run log and the messages, and the markers
// that configured texts hold, replaced.
//
// Formatting goes through the system C library's own formatter (msvcrt), never through
// swprintf, snprintf or std::to_wstring: with libstdc++, mingw-w64 puts its C99 formatter
// behind those names, and that formatter (with the floating-point conversion it brings)
// would be a tenth of the stub. The program formats integers, strings and characters only,
// which both write alike.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zelko {

// printf-style into `buffer` of `size` units (size > 0): %d, %ld, %u, %X, %ls, %lc with flags
// and widths. The text is cut to size - 1 units when longer and always terminated.
void FormatText(wchar_t* buffer, size_t size, const wchar_t* format, ...);
void FormatTextV(wchar_t* buffer, size_t size, const wchar_t* format, va_list args);
void FormatText(char* buffer, size_t size, const char* format, ...);

// `value` in decimal, with a minus sign when negative: what std::to_wstring gives for the
// same value of any integer type of up to 32 bits, signed or not.
std::wstring DecimalText(long long value);

// `text` with every occurrence of `marker` (not empty) replaced by `by`, from left to right.
// What `by` brings in is never searched again, so a replacement holding the marker stays as
// it is.
std::wstring ReplaceAll(std::wstring text, const std::wstring& marker, const std::wstring& by);

}  // namespace zelko
