// The outcome of a run in the registry, for callers that start the program without watching
// its window: the updater service and callers that pass /re.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zelko {

// Per-product setup key under HKEY_LOCAL_MACHINE: LogTime, ErrorText, ExitCode.
constexpr wchar_t kSetupRegistryKey[] = L"SOFTWARE\\Zelko\\Setup\\Pandle";
// The updater service's key under HKEY_CURRENT_USER: WebMsiPath.
constexpr wchar_t kKivRegistryKey[] = L"SOFTWARE\\Zelko\\Zelko Kiv\\1.0\\Kiv";

// Writes `value` as a REG_DWORD under the setup key; true on success.
BOOL WriteSetupDword(const wchar_t* name, uint32_t value);
// Writes `text` as a REG_SZ, creating the key when missing; true on success.
BOOL WriteRegistryString(HKEY hive, const wchar_t* keyPath, const wchar_t* name,
                         const std::wstring& text);

// The outcome of the run under the setup key: LogTime (now, in seconds since 1970),
// ErrorText (`message`) and ExitCode (`exitCode`). Each value that cannot be written is logged.
void ReportResultToRegistry(int32_t exitCode, const std::wstring& message);

}  // namespace zelko
