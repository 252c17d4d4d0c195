// Conversions between the packer's texts (std::wstring holding UTF-16 code units on every
// platform, as the installer's resources do) and the UTF-8 bytes of a Linux command line, a
// Linux path and the packer's output.
#pragma once

#include <string>

#include <cstddef>
#include <cstdint>

namespace zelko::pack {

// The length of the valid UTF-8 sequence at `data[i]` (of `size` bytes), with its code point
// in `codePoint`; 0 when the bytes there are not one: overlong forms, encoded surrogates,
// values above U+10FFFF and cut-off sequences are refused.
size_t DecodeUtf8Sequence(const unsigned char* data, size_t size, size_t i, uint32_t* codePoint);

// Appends `codePoint` to `out` as one UTF-16 unit or a surrogate pair.
void AppendUtf16(uint32_t codePoint, std::wstring& out);

// UTF-8 of `text`. A lone surrogate U+DC80..U+DCFF stands for the byte 0x80..0xFF that
// Utf16FromBytes could not decode and becomes that byte again, so a Linux file name that is
// not valid UTF-8 reaches the file system unchanged. Other lone surrogates become U+FFFD.
std::string Utf8FromUtf16(const std::wstring& text);

// `bytes` decoded as UTF-8; a byte that does not start a valid sequence becomes the lone
// surrogate U+DC00 + byte (see Utf8FromUtf16), so nothing is lost.
std::wstring Utf16FromBytes(const std::string& bytes);

}  // namespace zelko::pack
