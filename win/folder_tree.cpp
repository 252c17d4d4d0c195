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

}  // namespace zelko
