#include "tools/ini_text.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelko::pack {
namespace {

// 1-based line number of the position after `count` units of `text`, where CR LF, lone LF
// and lone CR each end a line. Works on bytes and on UTF-16 units alike, since CR and LF are
// single units in UTF-8 and UTF-16.
template <typename Unit>
size_t LineAt(const Unit* text, size_t count) {
  size_t line = 1;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && !(i + 1 < count && text[i + 1] == '\n'))) {
      ++line;
    }
  }
  return line;
}

std::wstring AtLine(size_t line) { return L" in line " + std::to_wstring(line); }

void AppendCodePoint(uint32_t codePoint, std::wstring& out) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<wchar_t>(codePoint));
  } else {
    codePoint -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
  }
}

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing above U+10FFFF, no cut-off
// sequences. A lenient decoder would turn such bytes into replacement characters and ship a
// configuration that silently differs from what its author wrote.
bool DecodeUtf8(const std::string& bytes, size_t start, IniDecodeResult& result) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  for (size_t i = start; i < size;) {
    const unsigned char lead = data[i];
    if (lead < 0x80) {
      result.text.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t codePoint = 0;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      codePoint = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      codePoint = lead & 0x07;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    }
    bool valid = length != 0 && i + length <= size;
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = data[i + k];
      const unsigned char min = k == 1 ? low : 0x80;
      const unsigned char max = k == 1 ? high : 0xBF;
      if (next < min || next > max) {
        valid = false;
      } else {
        codePoint = (codePoint << 6) | (next & 0x3F);
      }
    }
    if (!valid) {
      const wchar_t* const hex = L"0123456789ABCDEF";
      result.error = L"is not valid UTF-8 (byte 0x" + std::wstring{hex[lead >> 4], hex[lead & 15]} +
                     L" at offset " + std::to_wstring(i) + L")" +
                     AtLine(LineAt(data + start, i - start)) +
                     L"; save the file as UTF-8 or UTF-16";
      return false;
    }
    AppendCodePoint(codePoint, result.text);
    i += length;
  }
  return true;
}

bool DecodeUtf16(const std::string& bytes, size_t start, bool bigEndian, IniDecodeResult& result) {
  if ((bytes.size() - start) % 2 != 0) {
    result.error = L"is UTF-16 text with an odd number of bytes (the file is cut off)";
    return false;
  }
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = start; i < bytes.size(); i += 2) {
    const unsigned first = data[i];
    const unsigned second = data[i + 1];
    result.text.push_back(
        static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  const std::wstring& text = result.text;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    const bool isHigh = unit >= 0xD800 && unit <= 0xDBFF;
    const bool isLow = unit >= 0xDC00 && unit <= 0xDFFF;
    if (isHigh && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (isHigh || isLow) {
      result.error = L"is not valid UTF-16 (unpaired surrogate)" + AtLine(LineAt(text.data(), i));
      return false;
    }
  }
  return true;
}

// UTF-16LE without a byte-order mark: the ASCII that INI syntax is made of has zero high
// bytes, which sit at odd offsets. Zeros mostly at even offsets would be UTF-16BE without a
// mark, which nobody's editor writes, or something that is not text at all.
bool LooksLikeUtf16LeWithoutMark(const std::string& bytes) {
  if (bytes.size() % 2 != 0) return false;
  size_t evenZeros = 0;
  size_t oddZeros = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') ++(i % 2 == 0 ? evenZeros : oddZeros);
  }
  return oddZeros > evenZeros;
}

std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      out += L"\r\n";
    } else if (c == L'\n') {
      out += L"\r\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

IniDecodeResult DecodeIniText(const std::string& bytes) {
  IniDecodeResult result;
  auto startsWith = [&](const char* mark, size_t length) {
    return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
  };
  bool decoded = false;
  if (startsWith("\xEF\xBB\xBF", 3)) {
    decoded = DecodeUtf8(bytes, 3, result);
  } else if (startsWith("\xFF\xFE", 2)) {
    decoded = DecodeUtf16(bytes, 2, false, result);
  } else if (startsWith("\xFE\xFF", 2)) {
    decoded = DecodeUtf16(bytes, 2, true, result);
  } else if (bytes.find('\0') == std::string::npos) {
    decoded = DecodeUtf8(bytes, 0, result);
  } else if (LooksLikeUtf16LeWithoutMark(bytes)) {
    decoded = DecodeUtf16(bytes, 0, false, result);
  } else {
    result.error = L"is neither UTF-8 nor UTF-16 text (zero byte at offset " +
                   std::to_wstring(bytes.find('\0')) + L")";
  }
  if (!decoded) {
    result.text.clear();
    return result;
  }
  // The installer reads the configuration as C strings; a NUL would cut it there.
  const size_t nul = result.text.find(L'\0');
  if (nul != std::wstring::npos) {
    result.error = L"contains a NUL character" + AtLine(LineAt(result.text.data(), nul));
    result.text.clear();
    return result;
  }
  result.text = WithCrLf(result.text);
  result.ok = true;
  return result;
}

std::string EncodeIniResource(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + text.size() * 2);
  for (const wchar_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

namespace {

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

void SetIniValue(std::wstring* text, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value) {
  std::vector<std::wstring> lines;
  for (size_t start = 0; start < text->size();) {
    const size_t end = text->find(L"\r\n", start);
    lines.push_back(text->substr(start, end == std::wstring::npos ? end : end - start));
    start = end == std::wstring::npos ? text->size() : end + 2;
  }
  bool inSection = false;
  bool sectionFound = false;
  size_t insertAt = 0;  // after the section's last non-empty line
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::wstring line = Trimmed(lines[i]);
    if (!line.empty() && line.front() == L'[') {
      if (inSection) break;  // the section ended without the key
      inSection = line.back() == L']' &&
                  SameNoCase(Trimmed(line.substr(1, line.size() - 2)), section);
      if (inSection) {
        sectionFound = true;
        insertAt = i + 1;
      }
      continue;
    }
    if (!inSection || line.empty()) continue;
    const size_t equals = line.find(L'=');
    if (equals != std::wstring::npos && SameNoCase(Trimmed(line.substr(0, equals)), key)) {
      // Keep the key as the file spells it.
      lines[i] = Trimmed(line.substr(0, equals)) + L"=" + value;
      insertAt = std::wstring::npos;
      break;
    }
    insertAt = i + 1;
  }
  if (!sectionFound) {
    lines.push_back(L"[" + section + L"]");
    insertAt = lines.size();
  }
  if (insertAt != std::wstring::npos) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + L"=" + value);
  }
  text->clear();
  for (const auto& line : lines) *text += line + L"\r\n";
}

}  // namespace zelko::pack
