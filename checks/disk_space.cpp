#include <windows.h>

#include <climits>
#include <cwchar>

#include "app/sfx_app.h"
#include "checks/system_checks.h"
#include "report/run_log.h"
#include "win/format_text.h"

namespace zelko {

BOOL GetAvailableSpaceMB(const std::wstring& path, uint64_t* availableMB) {
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
  *availableMB = freeToCaller.QuadPart <= 1048576u ? 1 : freeToCaller.QuadPart / 1048576u;
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::CheckDiskSpace(uint64_t requiredMB, const std::wstring& path) {
  SfxLog::Write(1, L"CheckDiskSpace...");
  // The label and the number apart by two blanks, as the log has always had them.
  SfxLog::Write(2, L"Required size in MB:  " + DecimalText(static_cast<long long>(requiredMB)));
  uint64_t availableMB = 0;
  if (!GetAvailableSpaceMB(path, &availableMB)) {
    // Not knowing is no shortage: the run goes on, and a full disk shows as a failed write.
    SfxLog::Write(2, L"Could not get available disk space");
    return TRUE;
  }
  SfxLog::Write(2, L"Available disk space in MB:  " + DecimalText(static_cast<long long>(availableMB)));
  if (availableMB > requiredMB) return TRUE;
  // The message names the whole amount the run needs, not the shortfall (held to what the
  // condition carries; no disk has 2^31 MB).
  const int detail = requiredMB > INT_MAX ? INT_MAX : static_cast<int>(requiredMB);
  error_.SetErrorCondition(L"Low disk space", kSfxErrDiskSpace, detail);
  return FALSE;
}

}  // namespace zelko
