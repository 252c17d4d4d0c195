#include "win/folder_tree.h"

#include <shlobj.h>

#include <cstdlib>

#include "win/format_text.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

constexpr int kWriteAttempts = 10;
// A folder's path must leave room for a file name of 8.3 characters and its backslash.
constexpr size_t kLongFolderPath = MAX_PATH - 12;
constexpr wchar_t kFolderFailed[] = L"Attempted to cleanup folder failed: ";
constexpr wchar_t kFileFailed[] = L"Attempted to cleanup file failed: ";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsLinkOrFile(DWORD attributes) {
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes one entry without following it: a file, a link, or a folder (which must be empty).
// On Windows, RemoveDirectoryW on a junction or folder link removes the link alone. (Wine 8
// resolves a folder link to its target and refuses, as the target is not empty: the link
// stays and is logged, and the target is never entered.)
void RemoveEntry(const std::wstring& path, DWORD attributes, const wchar_t* failureText,
                 FolderTreeLog log) {
  const std::wstring call = LongPathForm(path);
  ::SetFileAttributesW(call.c_str(), FILE_ATTRIBUTE_NORMAL);
  const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                           ? ::RemoveDirectoryW(call.c_str()) != FALSE
                           : ::DeleteFileW(call.c_str()) != FALSE;
  if (!removed) log(1, failureText + path, 0);
}

}  // namespace

std::wstring LongPathForm(const std::wstring& path) {
  if (path.size() < kLongFolderPath || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

void DeleteFolderTree(std::wstring folder, FolderTreeLog log) {
  if (folder.size() < 4) return;  // never a drive root
  const DWORD attributes = ::GetFileAttributesW(LongPathForm(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLinkOrFile(attributes)) {
    // The folder itself is a link: remove the link, never what it points to.
    RemoveEntry(folder, attributes, kFolderFailed, log);
    return;
  }
  std::wstring base = folder;
  if (base.back() == L'\\') base.pop_back();
  WIN32_FIND_DATAW entry;
  ScopedFindHandle find(::FindFirstFileW(LongPathForm(base + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + L"\\" + name;
      if (IsLinkOrFile(entry.dwFileAttributes)) {
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        RemoveEntry(path, entry.dwFileAttributes, isFolder ? kFolderFailed : kFileFailed, log);
      } else {
        DeleteFolderTree(path, log);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  const std::wstring call = LongPathForm(folder);
  ::SetFileAttributesW(call.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::RemoveDirectoryW(call.c_str())) {
    log(1, kFolderFailed + folder, 0);
  }
}

DWORD TestFolderWritable(const std::wstring& folder) {
  ::SHCreateDirectory(nullptr, folder.c_str());
  DWORD error = 0;
  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    const std::wstring probe = folder + L"\\" + DecimalText(rand()) + L".txt";
    ScopedFileHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    error = ::GetLastError();
    if (file) {
      file.reset();
      error = ::DeleteFileW(probe.c_str()) ? 0 : ::GetLastError();
    }
    if (error == 0) return 0;
  }
  return error;
}

DWORD CreateFolderPath(const std::wstring& folder, std::vector<std::wstring>& created) {
  // Up from `folder` to the first path that exists (a drive, a share, a folder of the user's).
  std::vector<std::wstring> missing;  // innermost first
  std::wstring path = folder;
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  while (!path.empty() && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    missing.push_back(path);
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos || path.size() == 1) break;
    path.erase(cut == 0 ? 1 : cut);
    while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::CreateDirectoryW(it->c_str(), nullptr)) {
      created.push_back(*it);
    } else if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      return ::GetLastError();
    }
  }
  return 0;
}

void RemoveCreatedFolders(std::vector<std::wstring>& created) {
  for (auto it = created.rbegin(); it != created.rend(); ++it) ::RemoveDirectoryW(it->c_str());
  created.clear();
}

}  // namespace zelko
