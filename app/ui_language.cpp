#include "app/ui_language.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "app/sfx_config.h"
#include "report/run_log.h"
#include "resources/string_keys.h"

namespace zelko {
namespace {

// Values of the locale interface of Windows Vista and later, named here because the
// program also starts on older systems (where those calls are looked up and found missing).
constexpr DWORD kMuiLanguageName = 0x8;            // MUI_LANGUAGE_NAME
constexpr LCTYPE kLocaleParent = 0x6D;             // LOCALE_SPARENT
constexpr LCTYPE kLocaleReadingLayout = 0x70;      // LOCALE_IREADINGLAYOUT
constexpr int kLocaleNameLength = 85;              // LOCALE_NAME_MAX_LENGTH

using GetUserPreferredUILanguagesFn = BOOL(WINAPI*)(DWORD, PULONG, PZZWSTR, PULONG);
using GetLocaleInfoExFn = int(WINAPI*)(LPCWSTR, LCTYPE, LPWSTR, int);

template <typename Function>
Function Kernel32Function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

std::wstring Lowercase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The subtags of a locale name, in lower case: "zh-Hans-CN" gives zh, hans, cn.
std::vector<std::wstring> Subtags(const std::wstring& name) {
  std::vector<std::wstring> subtags;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find_first_of(L"-_", start);
    if (end == std::wstring::npos) end = name.size();
    subtags.push_back(Lowercase(name.substr(start, end - start)));
    start = end + 1;
  }
  return subtags;
}

std::wstring WithoutLastSubtag(const std::wstring& name) {
  const size_t dash = name.find_last_of(L'-');
  return dash == std::wstring::npos ? std::wstring() : name.substr(0, dash);
}

// The user's UI language from the system's language identifier, for systems before Windows
// Vista: the ISO names of its language and country ("de" and "DE").
std::wstring LanguageNameOf(LANGID language) {
  const LCID locale = MAKELCID(language, SORT_DEFAULT);
  wchar_t iso639[16] = {};
  wchar_t iso3166[16] = {};
  if (::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, iso639, 16) == 0) return {};
  std::wstring name = iso639;
  if (::GetLocaleInfoW(locale, LOCALE_SISO3166CTRYNAME, iso3166, 16) != 0 && iso3166[0] != L'\0') {
    name += L"-";
    name += iso3166;
  }
  return name;
}

}  // namespace

std::vector<std::wstring> LanguageFallbacks(const std::wstring& name, LocaleParent parentOf) {
  std::vector<std::wstring> names;
  auto known = [&names](const std::wstring& candidate) {
    return std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
      return Lowercase(n) == Lowercase(candidate);
    });
  };
  for (std::wstring current = name; !current.empty() && !known(current);) {
    names.push_back(current);
    std::wstring parent = parentOf != nullptr ? parentOf(current) : std::wstring();
    // The invariant locale (an empty name or "iv") is no language of its own.
    if (parent.empty() || Lowercase(parent) == L"iv" || known(parent)) {
      parent = WithoutLastSubtag(current);
    }
    current = parent;
  }
  return names;
}

bool IsRightToLeftLanguage(const std::wstring& name) {
  static const wchar_t* const kLanguages[] = {L"ar", L"he", L"fa", L"ur", L"ps", L"sd", L"ug",
                                              L"yi", L"dv", L"syr", L"ckb", L"prs"};
  static const wchar_t* const kScripts[] = {L"arab", L"hebr", L"syrc", L"thaa", L"nkoo",
                                            L"adlm", L"rohg"};
  const std::vector<std::wstring> subtags = Subtags(name);
  const std::wstring language = subtags.front();
  for (const wchar_t* rtl : kLanguages) {
    if (language == rtl) return true;
  }
  for (size_t i = 1; i < subtags.size(); ++i) {
    for (const wchar_t* script : kScripts) {
      if (subtags[i] == script) return true;
    }
  }
  auto getLocaleInfoEx = Kernel32Function<GetLocaleInfoExFn>("GetLocaleInfoEx");
  if (getLocaleInfoEx == nullptr || name.empty()) return false;
  DWORD layout = 0;
  // With LOCALE_RETURN_NUMBER the value comes as a number, its size counted in characters.
  const int read = getLocaleInfoEx(name.c_str(), kLocaleReadingLayout | LOCALE_RETURN_NUMBER,
                                   reinterpret_cast<LPWSTR>(&layout),
                                   sizeof(layout) / sizeof(wchar_t));
  return read != 0 && layout == 1;
}

std::wstring UserUiLanguageName() {
  if (auto preferred =
          Kernel32Function<GetUserPreferredUILanguagesFn>("GetUserPreferredUILanguages")) {
    ULONG count = 0;
    ULONG size = 0;
    if (preferred(kMuiLanguageName, &count, nullptr, &size) && size > 0) {
      std::wstring list(size, L'\0');
      if (preferred(kMuiLanguageName, &count, list.data(), &size) && list[0] != L'\0') {
        return list.c_str();  // the first name of the double-null-terminated list
      }
    }
  }
  return LanguageNameOf(::GetUserDefaultUILanguage());
}

std::wstring SystemLocaleParent(const std::wstring& name) {
  auto getLocaleInfoEx = Kernel32Function<GetLocaleInfoExFn>("GetLocaleInfoEx");
  if (getLocaleInfoEx == nullptr || name.empty()) return {};
  wchar_t parent[kLocaleNameLength] = {};
  if (getLocaleInfoEx(name.c_str(), kLocaleParent, parent, kLocaleNameLength) == 0) return {};
  return parent;
}

UiLanguage ChooseUiLanguage() {
  UiLanguage language;
  language.name = UserUiLanguageName();
  for (const std::wstring& name : LanguageFallbacks(language.name, SystemLocaleParent)) {
    const std::wstring section = kLanguageSectionPrefix + name;
    if (SfxConfig::HasSection(section.c_str())) language.textSections.push_back(section);
  }
  language.bRightToLeft =
      !language.textSections.empty() && IsRightToLeftLanguage(language.name);
  SfxLog::Write(1, L"UI language: " + language.name);
  return language;
}

}  // namespace zelko
