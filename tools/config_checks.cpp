#include "tools/config_checks.h"

#include <algorithm>
#include <iterator>

#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "resources/string_keys.h"
#include "tools/ini_text.h"

namespace zelko::pack {
namespace {

constexpr wchar_t kExampleCode[] = L"{12345678-9ABC-DEF0-1234-56789ABCDEF0}";

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool IsBracedGuid(const std::wstring& value) {
  const std::wstring pattern = kExampleCode;
  if (value.size() != pattern.size()) return false;
  for (size_t i = 0; i < value.size(); ++i) {
    const wchar_t expected = pattern[i];
    const bool literal = expected == L'{' || expected == L'}' || expected == L'-';
    if (literal ? value[i] != expected : !IsHexDigit(value[i])) return false;
  }
  return true;
}

}  // namespace

bool CheckProductCode(const std::wstring& text, std::wstring* why) {
  const std::wstring code = IniValue(text, kInstallSection, kProductCodeKey);
  if (code.empty()) {
    *why = L"has no ProductCode in [INSTALL]; the installer would stop at once (give the "
           L"product's code in braces, such as " + std::wstring(kExampleCode) + L")";
    return false;
  }
  if (!IsBracedGuid(code)) {
    *why = L"has ProductCode=" + code + L" in [INSTALL], which is not a product code in braces "
           L"such as " + std::wstring(kExampleCode);
    return false;
  }
  return true;
}

bool IsLocaleName(const std::wstring& name) {
  std::vector<std::wstring> subtags;
  for (size_t start = 0;;) {
    const size_t dash = name.find(L'-', start);
    subtags.push_back(name.substr(start, dash == std::wstring::npos ? dash : dash - start));
    if (dash == std::wstring::npos) break;
    start = dash + 1;
  }
  auto all = [](const std::wstring& text, bool (*test)(wchar_t)) {
    return !text.empty() && std::all_of(text.begin(), text.end(), test);
  };
  auto letter = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); };
  auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  auto alphanumeric = [](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
  };
  const std::wstring& language = subtags[0];
  if (language.size() < 2 || language.size() > 3 || !all(language, letter)) return false;
  size_t i = 1;
  if (i < subtags.size() && subtags[i].size() == 4 && all(subtags[i], letter)) ++i;  // script
  if (i < subtags.size() && ((subtags[i].size() == 2 && all(subtags[i], letter)) ||
                             (subtags[i].size() == 3 && all(subtags[i], digit)))) {
    ++i;  // region
  }
  for (; i < subtags.size(); ++i) {  // variants: 5 to 8 characters, or 4 beginning with a digit
    const std::wstring& variant = subtags[i];
    const bool longForm = variant.size() >= 5 && variant.size() <= 8;
    const bool shortForm = variant.size() == 4 && digit(variant[0]);
    if (!(longForm || shortForm) || !all(variant, alphanumeric)) return false;
  }
  return true;
}

bool CheckPayload(const std::wstring& text, bool archive, bool rdcArchive, size_t files,
                  std::wstring* why) {
  const std::wstring compression = IniValue(text, kInstallSection, kCompressionKey);
  if (compression.empty() || SameIniName(compression, L"7z")) {
    if (archive) return true;
    *why = L"asks for a 7z payload (Compression is " +
           (compression.empty() ? std::wstring(L"not set") : L"7z") +
           L"), but no --archive is given: the installer would install nothing (give the "
           L"archive with --archive, or set Compression=files and give the files with --file)";
    return false;
  }
  const std::wstring setting = L"has Compression=" + compression + L" in [INSTALL]";
  if (archive || rdcArchive) {
    *why = setting + L", so the installer writes file resources and never extracts the " +
           (archive ? L"--archive" : L"--rdc-archive") +
           L" given (leave Compression out, or set it to 7z, to install the archive)";
    return false;
  }
  if (files == 0) {
    *why = setting + L", but no --file is given: the installer would install nothing (give "
                     L"the files with --file, or the archive with --archive and Compression=7z)";
    return false;
  }
  if (IniValue(text, kInstallSection, std::wstring(kFileResourceTypePrefix) + L"0").empty()) {
    *why = setting + L", but no FILE_0 in [INSTALL]: the installer would write none of the "
                     L"files (name the first --file with FILE_0=, the next with FILE_1=, ...)";
    return false;
  }
  return true;
}

bool CheckConfiguredSizes(const std::wstring& text, std::wstring* why) {
  for (const wchar_t* key : {kInstallerFolderSizeKey, kRdcFolderSizeKey}) {
    const std::wstring value = IniValue(text, kInstallSection, key);
    if (ConfiguredNumber(value) >= 0) continue;
    *why = L"has " + std::wstring(key) + L"=" + value +
           L" in [INSTALL], and the installer counts a negative size as none, so its "
           L"free-space check would be short (give the unpacked size in MB, or --fill-sizes)";
    return false;
  }
  return true;
}

std::vector<std::wstring> OverlongSetupArguments(const std::wstring& text) {
  std::vector<std::wstring> keys;
  for (const wchar_t* key : {kSetupArgs1Key, kSetupArgs2Key}) {
    if (IniValue(text, kInstallSection, key).size() > kLongestReadValue) keys.push_back(key);
  }
  return keys;
}

namespace {

// The locale name of a [STRING.<name>] section, or false for any other section.
bool LanguageSectionName(const std::wstring& section, std::wstring* locale) {
  const std::wstring prefix = kLanguageSectionPrefix;
  if (section.size() < prefix.size() || !SameIniName(section.substr(0, prefix.size()), prefix)) {
    return false;
  }
  *locale = section.substr(prefix.size());
  return true;
}

}  // namespace

bool CheckLanguageSections(const std::wstring& text, std::wstring* why) {
  for (const std::wstring& section : IniSectionNames(text)) {
    std::wstring locale;
    if (LanguageSectionName(section, &locale) && !IsLocaleName(locale)) {
      *why = L"has a section [" + section + L"], which no user's language would ever select: " +
             L"name a language section [STRING.<locale>] with a locale name such as de-DE, " +
             L"de, pt-BR or zh-Hans";
      return false;
    }
  }
  return true;
}

std::vector<UnreadKey> UnreadStringKeys(const std::wstring& text) {
  std::vector<std::wstring> sections = {kStringSection};
  for (const std::wstring& section : IniSectionNames(text)) {
    std::wstring locale;
    const bool seen = std::any_of(sections.begin(), sections.end(), [&](const std::wstring& s) {
      return SameIniName(s, section);
    });
    if (!seen && LanguageSectionName(section, &locale)) sections.push_back(section);
  }
  std::vector<UnreadKey> unread;
  for (const std::wstring& section : sections) {
    for (const std::wstring& key : IniKeys(text, section)) {
      const bool read = std::any_of(std::begin(kStringKeys), std::end(kStringKeys),
                                    [&](const wchar_t* known) { return SameIniName(key, known); });
      if (!read) unread.push_back({section, key});
    }
  }
  return unread;
}

long long ConfiguredNumber(const std::wstring& value) {
  size_t i = value.find_first_not_of(L" \t");
  if (i == std::wstring::npos) return 0;
  const bool negative = value[i] == L'-';
  if (value[i] == L'-' || value[i] == L'+') ++i;
  long long number = 0;
  for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9' && number < (1LL << 40); ++i) {
    number = number * 10 + (value[i] - L'0');
  }
  return negative ? -number : number;
}

}  // namespace zelko::pack
