#include "tools/utf_text.h"

#include <cstdint>

namespace zelko::pack {
namespace {

void AppendUtf8(uint32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

size_t DecodeUtf8Sequence(const unsigned char* data, size_t size, size_t i, uint32_t* codePoint) {
  const unsigned char lead = data[i];
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    *codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    *codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    *codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  }
  if (length == 0 || i + length > size) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = data[i + k];
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
    *codePoint = (*codePoint << 6) | (next & 0x3F);
  }
  return length;
}

void AppendUtf16(uint32_t codePoint, std::wstring& out) {
  if (codePoint >= 0x10000) {
    out.push_back(static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(codePoint));
  }
}

std::string Utf8FromUtf16(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t unit = static_cast<uint32_t>(text[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      const uint32_t next = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), out);
        ++i;
        continue;
      }
    }
    if (unit >= 0xDC80 && unit <= 0xDCFF) {
      out.push_back(static_cast<char>(unit - 0xDC00));
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(0xFFFD, out);
    } else {
      AppendUtf8(unit, out);
    }
  }
  return out;
}

std::wstring Utf16FromBytes(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::wstring out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    uint32_t codePoint = data[i];
    size_t length = codePoint < 0x80 ? 1 : DecodeUtf8Sequence(data, bytes.size(), i, &codePoint);
    if (length == 0) {
      codePoint = 0xDC00 + data[i];
      length = 1;
    }
    AppendUtf16(codePoint, out);
    i += length;
  }
  return out;
}

}  // namespace zelko::pack
