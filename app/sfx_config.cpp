#include "app/sfx_config.h"

#include <windows.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "report/run_log.h"
#include "resources/string_keys.h"

namespace zelko {

namespace {

bool ConfigurationOnDisk(const std::wstring& path) {
  return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ProfileValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  // 255 characters with the terminating null: longer values are cut to 254.
  wchar_t value[255];
  const DWORD length =
      ::GetPrivateProfileStringW(section, key, L"", value, 255, path.c_str());
  return std::wstring(value, length);
}

}  // namespace

std::wstring SfxConfig::GetValue(const wchar_t* section, const wchar_t* key) {
  const std::wstring& path = theApp.configPath_;
  if (!ConfigurationOnDisk(path)) {
    SfxLog::Write(1, L"Configuration file missing: " + path);
    return {};
  }
  return ProfileValue(path, section, key);
}

std::wstring SfxConfig::GetText(const wchar_t* key) {
  const std::wstring& path = theApp.configPath_;
  // Without the file the lookup in [STRING] below says so in the log, once.
  if (ConfigurationOnDisk(path)) {
    for (const std::wstring& section : theApp.uiLanguage_.textSections) {
      std::wstring value = ProfileValue(path, section.c_str(), key);
      if (!value.empty()) return value;
    }
  }
  return GetValue(kStringSection, key);
}

bool SfxConfig::HasSection(const wchar_t* section) {
  const std::wstring& path = theApp.configPath_;
  if (!ConfigurationOnDisk(path)) return false;
  // A buffer too small for the section's lines is filled as far as it goes: enough to tell.
  wchar_t lines[4];
  return ::GetPrivateProfileSectionW(section, lines, 4, path.c_str()) > 0;
}

long ConfigNumber(const std::wstring& value) { return wcstol(value.c_str(), nullptr, 10); }

}  // namespace zelko
