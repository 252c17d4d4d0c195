#include "app/sfx_config.h"

#include <windows.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "report/run_log.h"

namespace zelko {

std::wstring SfxConfig::GetValue(const wchar_t* section, const wchar_t* key) {
  const std::wstring& path = theApp.configPath_;
  if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SfxLog::Write(1, L"Configuration file missing: " + path);
    return {};
  }
  // 255 characters with the terminating null: longer values are cut to 254.
  wchar_t value[255];
  const DWORD length =
      ::GetPrivateProfileStringW(section, key, L"", value, 255, path.c_str());
  return std::wstring(value, length);
}

long ConfigNumber(const std::wstring& value) { return wcstol(value.c_str(), nullptr, 10); }

}  // namespace zelko
