#include "tests/support/temp_folder.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "win/scoped_handle.h"
#include "win/temp_path.h"

namespace zelko::test {

TempFolder::TempFolder() {
  const std::wstring temp = TempPath();
  for (unsigned attempt = 0;; ++attempt) {
    path_ = temp + L"zelko_test_" + std::to_wstring(::GetCurrentProcessId()) +
            L"_" + std::to_wstring(::GetTickCount64()) + L"_" + std::to_wstring(attempt);
    if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

ScopedTempPath::ScopedTempPath(const std::wstring& folder) {
  wchar_t old[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"TMP", old, MAX_PATH);
  hadOld_ = length > 0 && length < MAX_PATH;
  if (hadOld_) old_ = old;
  ::SetEnvironmentVariableW(L"TMP", (folder + L"\\").c_str());
}

ScopedTempPath::~ScopedTempPath() {
  ::SetEnvironmentVariableW(L"TMP", hadOld_ ? old_.c_str() : nullptr);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &entry));
  return names;
}

std::vector<std::wstring> SortedFolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names = FolderEntries(folder);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring RunLogPath() { return TempPath() + L"ZelkoSFX.log"; }

LogCapture::LogCapture(std::wstring path)
    : path_(std::move(path)), start_(ReadFileBytes(path_).size()) {}

std::string LogCapture::Text() const {
  const std::string all = ReadFileBytes(path_);
  return all.size() > start_ ? all.substr(start_) : std::string();
}

namespace {

// The Unix path of a Windows path, through Wine's own conversion; empty outside Wine.
std::string UnixPath(const std::wstring& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = toUnix != nullptr ? toUnix(windowsPath.c_str()) : nullptr;
  if (name == nullptr) return {};
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// Runs a program of the system under Wine and waits until `path` exists (or, with
// `exists` false, is gone): Wine does not report the end of a Unix program to its waits.
bool RunUnixUntil(std::wstring command, const std::wstring& path, bool exists) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return false;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  for (int i = 0; i < 1000; ++i) {
    if ((::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists) return true;
    ::Sleep(10);
  }
  return false;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Wine 8 cannot remove a link to a folder through the Windows calls (it resolves the link):
// the system's rm takes it away.
void RemoveFolderLink(const std::wstring& link) {
  const std::string path = UnixPath(link);
  if (!path.empty()) RunUnixUntil(L"Z:\\bin\\rm -f \"" + Wide(path) + L"\"", link, false);
}

}  // namespace

bool MakeFolderLink(const std::wstring& target, const std::wstring& link) {
  const size_t split = link.find_last_of(L'\\');
  const std::string targetPath = UnixPath(target);
  const std::string linkFolder = UnixPath(link.substr(0, split));
  if (targetPath.empty() || linkFolder.empty()) return false;
  return RunUnixUntil(L"Z:\\bin\\ln -s \"" + Wide(targetPath) + L"\" \"" + Wide(linkFolder) +
                          L"/" + link.substr(split + 1) + L"\"",
                      link, true);
}

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW entry;
    ScopedFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (find) {
      do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
      } while (::FindNextFileW(find.get(), &entry));
    }
    find.reset();
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
    return;
  }
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!::RemoveDirectoryW(path.c_str())) RemoveFolderLink(path);
  } else {
    ::DeleteFileW(path.c_str());
  }
}

}  // namespace zelko::test
