#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "checks/system_checks.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "win/format_text.h"

namespace zelko {
namespace {

// Size of one of the program's own resources, 0 when it is absent.
uint32_t OwnResourceSize(const wchar_t* type, int id) {
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  return resource != nullptr ? ::SizeofResource(nullptr, resource) : 0;
}

// Set when the environment variable has a value; both are read into one 200-character buffer.
bool Is64BitSystem() {
  wchar_t value[200] = {};
  if (::GetEnvironmentVariableW(L"ProgramW6432", value, 200) > 0 && value[0] != L'\0') {
    return true;
  }
  value[0] = L'\0';
  const DWORD length = ::GetEnvironmentVariableW(L"PROCESSOR_ARCHITECTURE", value, 200);
  return length > 0 && length < 200 && wcscmp(value, L"AMD64") == 0;
}

// The reported version; all zero when the system does not answer.
OSVERSIONINFOEXW ReadVersion() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // the manifest makes the answer truthful
#endif
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    version = OSVERSIONINFOEXW{};
  }
  return version;
}

// A negative size would count as an enormous or (summed) a tiny one; it counts as none.
void LogNegativeSize(const wchar_t* key, const std::wstring& value) {
  if (ConfigNumber(value) < 0) {
    SfxLog::Write(1, std::wstring(L"Negative size counted as not configured: ") + key + L"=" + value);
  }
}

std::wstring Format(const wchar_t* format, ...) {
  wchar_t buffer[512];
  va_list args;
  va_start(args, format);
  FormatTextV(buffer, 512, format, args);
  va_end(args);
  return buffer;
}

}  // namespace

uint32_t RoundMemoryMB(uint32_t physicalMB) {
  for (int i = 0; i <= 29; ++i) {
    const uint32_t low = 1u << i;
    const uint32_t high = 1u << (i + 1);
    if (low < physicalMB && physicalMB < high) return high;
  }
  return physicalMB;
}

std::wstring FormatOsString(const OSVERSIONINFOEXW& version, bool serverR2, bool is64Bit) {
  wchar_t letter = L'S';
  if (version.wSuiteMask & VER_SUITE_WH_SERVER) {
    letter = L'H';
  } else if (serverR2) {
    letter = L'2';
  } else if (version.wProductType == VER_NT_WORKSTATION) {
    letter = L'W';
  }
  wchar_t text[200];
  FormatText(text, 200, L"%d%d%lc%d", static_cast<int>(version.dwMajorVersion),
             static_cast<int>(version.dwMinorVersion), static_cast<wint_t>(letter),
             is64Bit ? 6 : 3);
  return text;
}

uint32_t ArchiveSizeMB(uint32_t bytes) {
  if (bytes == 0) return 0;
  return bytes > 1048576u ? bytes >> 20 : 1;
}

RequiredSpace ComputeRequiredSpace(uint64_t installerMB, uint32_t archiveBytes, bool rdcMode,
                                   uint64_t rdcMB, uint32_t rdcArchiveBytes, bool is7z) {
  uint64_t totalMB = installerMB + ArchiveSizeMB(archiveBytes);
  uint64_t extractedKB = installerMB * 1024;
  if (rdcMode) {
    totalMB += rdcMB + ArchiveSizeMB(rdcArchiveBytes);
    extractedKB += rdcMB * 1024;
  }
  // A 7z payload is written as an archive file and then decoded: the unpacked size counts
  // as work a second time.
  const uint64_t workKB = totalMB * 1024 + (is7z ? extractedKB : 0);
  return {totalMB, workKB > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(workKB)};
}

uint64_t ConfiguredSizeMB(long configured) {
  return configured < 0 ? 0 : static_cast<uint64_t>(configured);
}

BOOL CZelkoSelfExtractorApp::CheckSystemRequirements() {
  const OSVERSIONINFOEXW version = ReadVersion();
  const int os = static_cast<int>(version.dwMajorVersion * 10 + version.dwMinorVersion);
  const int sp = version.wServicePackMajor * 10 + version.wServicePackMinor;
  const std::wstring osString =
      FormatOsString(version, ::GetSystemMetrics(SM_SERVERR2) != 0, Is64BitSystem());

  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  ::GlobalMemoryStatusEx(&memory);
  const uint32_t physicalMemory = static_cast<uint32_t>(memory.ullTotalPhys >> 20);
  const uint32_t roundedMemory = RoundMemoryMB(physicalMemory);

  SfxLog::Write(2, Format(L"CheckSystemRequirements os,sp = %d %d osString = %ls, "
                          L"physicalMemory (%d) = %d",
                          os, sp, osString.c_str(), static_cast<int>(physicalMemory),
                          static_cast<int>(roundedMemory)));

  std::wstring failure;
  const std::wstring minOs = SfxConfig::GetValue(kConditionsSection, kMinOsKey);
  if (!minOs.empty() && os < ConfigNumber(minOs)) {
    failure = L"CheckSystemRequirements fails - sMinOS = " + minOs;
  }
  if (failure.empty()) {
    const std::wstring minMemory = SfxConfig::GetValue(kConditionsSection, kMinMemoryKey);
    // Unsigned on purpose: a negative minimum can never be met.
    if (!minMemory.empty() && roundedMemory < static_cast<uint32_t>(ConfigNumber(minMemory))) {
      failure = L"CheckSystemRequirements fails - sMinMemory = " + minMemory;
    }
  }
  if (failure.empty()) {
    const std::wstring minServicePack =
        SfxConfig::GetValue(kMinServicePackSection, osString.c_str());
    if (!minServicePack.empty() && sp < ConfigNumber(minServicePack)) {
      failure = L"CheckSystemRequirements fails - minServicePack = " + minServicePack;
    }
  }
  if (!failure.empty()) {
    SfxLog::Write(2, failure);
    error_.SetErrorCondition(UnsupportedOsDefaultText(), kSfxErrUnsupportedOs,
                             static_cast<int>(::GetLastError()));
    return FALSE;
  }

  const std::wstring installerMB = SfxConfig::GetValue(kInstallSection, kInstallerFolderSizeKey);
  SfxLog::Write(2, L"Adding extracted installer size to the total size: " + installerMB);
  LogNegativeSize(kInstallerFolderSizeKey, installerMB);
  uint64_t rdcMB = 0;
  if (bRdcMode_) {
    const std::wstring rdcValue = SfxConfig::GetValue(kInstallSection, kRdcFolderSizeKey);
    rdcMB = ConfiguredSizeMB(ConfigNumber(rdcValue));
    if (rdcMB != 0) {
      SfxLog::Write(2, L"Adding extracted RDC size to the total size: " + rdcValue);
    }
    LogNegativeSize(kRdcFolderSizeKey, rdcValue);
  }
  const RequiredSpace required = ComputeRequiredSpace(
      ConfiguredSizeMB(ConfigNumber(installerMB)), OwnResourceSize(kArchiveResourceType, kArchiveResourceId),
      bRdcMode_ != FALSE, rdcMB, bRdcMode_ ? OwnResourceSize(kRdcArchiveResourceType, kRdcArchiveResourceId) : 0,
      b7zArchive_ != FALSE);
  totalSizeKB_ = required.totalSizeKB;
  return CheckDiskSpace(required.totalMB, tempPath_);
}

}  // namespace zelko
