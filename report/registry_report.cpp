#include "report/registry_report.h"

#include <ctime>

#include "report/run_log.h"
#include "win/scoped_handle.h"

namespace zelko {

BOOL WriteSetupDword(const wchar_t* name, uint32_t value) {
  {
    HKEY created = nullptr;
    ::RegCreateKeyW(HKEY_LOCAL_MACHINE, kSetupRegistryKey, &created);
    ScopedRegKey close(created);
  }
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSetupRegistryKey, 0, KEY_ALL_ACCESS, &opened) !=
      ERROR_SUCCESS) {
    return FALSE;
  }
  ScopedRegKey key(opened);
  const LSTATUS status = ::RegSetValueExW(key.get(), name, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&value), sizeof(value));
  ::RegFlushKey(key.get());
  return status == ERROR_SUCCESS;
}

BOOL WriteRegistryString(HKEY hive, const wchar_t* keyPath, const wchar_t* name,
                         const std::wstring& text) {
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(hive, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return FALSE;
  }
  ScopedRegKey key(opened);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key.get(), name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

void ReportResultToRegistry(int32_t exitCode, const std::wstring& message) {
  const uint32_t now = static_cast<uint32_t>(static_cast<uint64_t>(time(nullptr)));
  if (!WriteSetupDword(L"LogTime", now)) SfxLog::Write(1, L"Failed to register LogTime");
  if (!WriteRegistryString(HKEY_LOCAL_MACHINE, kSetupRegistryKey, L"ErrorText", message)) {
    SfxLog::Write(1, L"Failed to register ErrorText");
  }
  if (!WriteSetupDword(L"ExitCode", static_cast<uint32_t>(exitCode))) {
    SfxLog::Write(1, L"Failed to register ExitCode");
  }
}

}  // namespace zelko
