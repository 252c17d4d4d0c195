// rand_s, the runtime's door to the system's strong random generator.
#define _CRT_RAND_S
#include "app/support_folder.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "app/product_run_lock.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "win/format_text.h"
#include "win/scoped_handle.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

constexpr int kAttempts = 10;
// A live run writes its files within seconds of its start and is done with them once its
// setup program has started; an hour without a write leaves no doubt.
constexpr ULONGLONG kAbandonedAfter = 60ULL * 60 * 10000000;  // in FILETIME's 100 ns
constexpr wchar_t kRemovedText[] = L"Removed support folder of an earlier run: ";
constexpr wchar_t kNotRemovedText[] = L"Cannot remove support folder of an earlier run: ";

bool IsDecimalName(const wchar_t* name) {
  if (*name == L'\0') return false;
  for (; *name != L'\0'; ++name) {
    if (*name < L'0' || *name > L'9') return false;
  }
  return true;
}

bool IsOurFileName(const wchar_t* name) {
  return wcscmp(name, kConfigFileName) == 0 || wcscmp(name, kArchiveFileName) == 0 ||
         wcscmp(name, kRdcArchiveFileName) == 0;
}

ULONGLONG Ticks(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The paths of our files in `folder` when it holds those and nothing else, each a plain file
// untouched for long enough; empty when anything in it says otherwise.
std::vector<std::wstring> AbandonedFiles(const std::wstring& folder, ULONGLONG now) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW entry;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return files;
  do {
    if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0) continue;
    const bool plainFile =
        (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    if (!plainFile || !IsOurFileName(entry.cFileName) ||
        Ticks(entry.ftLastWriteTime) + kAbandonedAfter >= now) {
      return {};
    }
    files.push_back(folder + L"\\" + entry.cFileName);
  } while (::FindNextFileW(find.get(), &entry));
  return files;
}

// Whether a run of the product that `configPath` names holds the product's lock: a run that
// waits hours for its setup program, or for its user at the folder browser, has not written
// its files for as long, and still needs them.
bool ProductRunUnderWay(const std::wstring& configPath) {
  wchar_t productCode[255];
  if (::GetPrivateProfileStringW(kInstallSection, kProductCodeKey, L"", productCode, 255,
                                 configPath.c_str()) == 0) {
    return false;
  }
  ScopedHandle lock(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                 ProductRunLockName(productCode).c_str()));
  // No lock at all: no run of the product is there. One we may not use: someone is.
  if (!lock) return ::GetLastError() != ERROR_FILE_NOT_FOUND;
  const DWORD wait = ::WaitForSingleObject(lock.get(), 0);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return true;
  ::ReleaseMutex(lock.get());  // free, or left by a killed run: given back at once
  return false;
}

void RemoveAbandonedFolder(const std::wstring& folder, const std::vector<std::wstring>& files) {
  for (const std::wstring& file : files) {
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(file.c_str());
  }
  // Removes only an empty folder: whatever is left, or came meanwhile, keeps it.
  if (::RemoveDirectoryW(folder.c_str())) {
    SfxLog::Write(1, kRemovedText, folder, 0);
  } else {
    SfxLog::Write(1, kNotRemovedText, folder, 1);
  }
}

// From the system's strong generator: a name another program cannot guess in advance and
// create first. 31 bits keep it a plain non-negative decimal number.
unsigned StrongRandomNumber() {
  unsigned value = 0;
  if (rand_s(&value) != 0) value = static_cast<unsigned>(rand());
  return value & 0x7FFFFFFFu;
}

}  // namespace

DWORD CreateSupportFolder(std::wstring& folder) {
  const std::wstring temp = TempPath();
  if (temp.empty()) return ::GetLastError();
  DWORD error = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    folder = temp + DecimalText(StrongRandomNumber());
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return 0;
    error = ::GetLastError();
  }
  return error != 0 ? error : ERROR_ALREADY_EXISTS;
}

void RemoveAbandonedSupportFolders(const std::wstring& tempPath, const std::wstring& ownFolder) {
  FILETIME nowTime{};
  ::GetSystemTimeAsFileTime(&nowTime);
  const ULONGLONG now = Ticks(nowTime);
  std::vector<std::wstring> candidates;
  {
    WIN32_FIND_DATAW entry;
    ScopedFindHandle find(::FindFirstFileW((tempPath + L"*").c_str(), &entry));
    if (!find) return;
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
          (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
          !IsDecimalName(entry.cFileName)) {
        continue;
      }
      const std::wstring folder = tempPath + entry.cFileName;
      if (_wcsicmp(folder.c_str(), ownFolder.c_str()) != 0) candidates.push_back(folder);
    } while (::FindNextFileW(find.get(), &entry));
  }
  for (const std::wstring& folder : candidates) {
    // Read by name as well: Wine shows a symbolic link as one only there.
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    const std::vector<std::wstring> files = AbandonedFiles(folder, now);
    if (!files.empty() && !ProductRunUnderWay(folder + L"\\" + kConfigFileName)) {
      RemoveAbandonedFolder(folder, files);
    }
  }
}

}  // namespace zelko
