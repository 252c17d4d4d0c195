#include <windows.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "checks/system_checks.h"
#include "report/run_log.h"
#include "win/format_text.h"

namespace zelko {

BOOL GetAvailableSpaceMB(const std::wstring& path, uint32_t* availableMB) {
  *availableMB = 0;
  using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                             PULARGE_INTEGER);
  // Looked up at run time, as systems without it must still get a clear answer.
  const auto getDiskFreeSpaceEx = reinterpret_cast<GetDiskFreeSpaceExFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetDiskFreeSpaceExW")));
  if (getDiskFreeSpaceEx == nullptr) {
    SfxLog::Write(2, L"GetProcAddress GetDiskFreeSpaceExW failed");
    return FALSE;
  }
  // A share (\\server\share\) is only measured with its trailing backslash; a drive path is
  // taken as it is.
  std::wstring directory = path;
  if (!(directory.size() > 1 && directory[1] == L':') &&
      (directory.empty() || directory.back() != L'\\')) {
    directory.push_back(L'\\');
  }
  ULARGE_INTEGER freeToCaller{};
  ULARGE_INTEGER totalBytes{};
  ULARGE_INTEGER totalFree{};
  if (!getDiskFreeSpaceEx(directory.c_str(), &freeToCaller, &totalBytes, &totalFree)) {
    SfxLog::Write(2, L"GetDiskFreeSpaceExW failed", 1);
    return FALSE;
  }
  *availableMB = freeToCaller.QuadPart <= 1048576u
                     ? 1
                     : static_cast<uint32_t>(freeToCaller.QuadPart / 1048576u);
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::CheckDiskSpace(uint32_t requiredMB, const std::wstring& path) {
  SfxLog::Write(1, L"CheckDiskSpace...");
  wchar_t line[96];
  FormatText(line, 96, L"%ls %d", L"Required size in MB: ", static_cast<int>(requiredMB));
  SfxLog::Write(2, line);
  uint32_t availableMB = 0;
  if (!GetAvailableSpaceMB(path, &availableMB)) {
    SfxLog::Write(2, L"Could not get available disk space");
    return FALSE;
  }
  FormatText(line, 96, L"%ls %d", L"Available disk space in MB: ", static_cast<int>(availableMB));
  SfxLog::Write(2, line);
  if (availableMB > requiredMB) return TRUE;
  // The message names the whole amount the run needs, not the shortfall.
  error_.SetErrorCondition(L"Low disk space", kSfxErrDiskSpace, static_cast<int>(requiredMB));
  return FALSE;
}

}  // namespace zelko
