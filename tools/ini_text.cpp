#include "tools/ini_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/utf_text.h"

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

// Strict UTF-8 (see DecodeUtf8Sequence). A lenient decoder would turn bad bytes into
// replacement characters and ship a configuration that silently differs from what its author
// wrote.
bool DecodeUtf8(const std::string& bytes, size_t start, IniDecodeResult& result) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  for (size_t i = start; i < size;) {
    uint32_t codePoint = data[i];
    const size_t length = codePoint < 0x80 ? 1 : DecodeUtf8Sequence(data, size, i, &codePoint);
    if (length == 0) {
      const unsigned char lead = data[i];
      const wchar_t* const hex = L"0123456789ABCDEF";
      result.error = L"is not valid UTF-8 (byte 0x" + std::wstring{hex[lead >> 4], hex[lead & 15]} +
                     L" at offset " + std::to_wstring(i) + L")" +
                     AtLine(LineAt(data + start, i - start)) +
                     L"; save the file as UTF-8 or UTF-16";
      return false;
    }
    AppendUtf16(codePoint, result.text);
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

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find(L"\r\n", start);
    lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
    start = end == std::wstring::npos ? text.size() : end + 2;
  }
  return lines;
}

// The name in a trimmed "[name]" line, or false for any other line.
bool SectionHeader(const std::wstring& line, std::wstring* name) {
  if (line.empty() || line.front() != L'[' || line.back() != L']') return false;
  *name = Trimmed(line.substr(1, line.size() - 2));
  return true;
}

// The key and value of a trimmed "key=value" line, both trimmed.
bool KeyLine(const std::wstring& line, std::wstring* key, std::wstring* value) {
  const size_t equals = line.find(L'=');
  if (equals == std::wstring::npos) return false;
  *key = Trimmed(line.substr(0, equals));
  *value = Trimmed(line.substr(equals + 1));
  return true;
}

// Calls `visit(index, key, value)` for each key line of the first section named `section`,
// the one the system's profile reader looks in; stops when `visit` returns false.
template <typename Visit>
void VisitSection(const std::vector<std::wstring>& lines, const std::wstring& section,
                  Visit visit) {
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::wstring line = Trimmed(lines[i]);
    std::wstring name;
    if (SectionHeader(line, &name)) {
      if (inSection) return;
      inSection = SameIniName(name, section);
      continue;
    }
    std::wstring key;
    std::wstring value;
    if (inSection && KeyLine(line, &key, &value) && !visit(i, key, value)) return;
  }
}

}  // namespace

bool SameIniName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

std::wstring IniValue(const std::wstring& text, const std::wstring& section,
                      const std::wstring& key) {
  std::wstring found;
  VisitSection(Lines(text), section, [&](size_t, const std::wstring& name, const std::wstring& value) {
    if (!SameIniName(name, key)) return true;
    found = value;
    return false;
  });
  // One pair of enclosing quotes goes, as the system's reader drops it.
  if (found.size() >= 2 && (found.front() == L'"' || found.front() == L'\'') &&
      found.back() == found.front()) {
    found = found.substr(1, found.size() - 2);
  }
  return found;
}

std::vector<std::wstring> IniSectionNames(const std::wstring& text) {
  std::vector<std::wstring> names;
  for (const std::wstring& line : Lines(text)) {
    std::wstring name;
    if (SectionHeader(Trimmed(line), &name)) names.push_back(name);
  }
  return names;
}

std::vector<std::wstring> IniKeys(const std::wstring& text, const std::wstring& section) {
  std::vector<std::wstring> keys;
  VisitSection(Lines(text), section, [&](size_t, const std::wstring& name, const std::wstring&) {
    keys.push_back(name);
    return true;
  });
  return keys;
}

void SetIniValue(std::wstring* text, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value) {
  std::vector<std::wstring> lines = Lines(*text);
  size_t sectionAt = std::wstring::npos;
  for (size_t i = 0; i < lines.size() && sectionAt == std::wstring::npos; ++i) {
    std::wstring name;
    if (SectionHeader(Trimmed(lines[i]), &name) && SameIniName(name, section)) sectionAt = i;
  }
  if (sectionAt == std::wstring::npos) {
    lines.push_back(L"[" + section + L"]");
    sectionAt = lines.size() - 1;
  }
  size_t insertAt = sectionAt + 1;  // after the section's last key line
  bool replaced = false;
  VisitSection(lines, section, [&](size_t i, const std::wstring& name, const std::wstring&) {
    if (!SameIniName(name, key)) {
      insertAt = i + 1;
      return true;
    }
    lines[i] = name + L"=" + value;  // keeps the key as the file spells it
    replaced = true;
    return false;
  });
  if (!replaced) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + L"=" + value);
  }
  text->clear();
  for (const auto& line : lines) *text += line + L"\r\n";
}

}  // namespace zelko::pack
