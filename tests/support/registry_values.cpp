#include "tests/support/registry_values.h"

namespace zelko::test {

std::optional<DWORD> ReadDword(HKEY hive, const wchar_t* key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegGetValueW(hive, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::wstring> ReadString(HKEY hive, const wchar_t* key, const wchar_t* name) {
  wchar_t value[2048];
  DWORD size = sizeof(value);
  if (::RegGetValueW(hive, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

}  // namespace zelko::test
