#include <windows.h>

#include "app/folder_tree.h"
#include "app/sfx_app.h"
#include "report/run_log.h"
#include "ui/progress_dialog.h"
#include "win/message_wait.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

constexpr int kUiWaitSteps = 50;  // of 200 ms: ten seconds in all
constexpr DWORD kUiWaitStepMs = 200;

void DeleteFileForcibly(const std::wstring& path) {
  if (path.empty()) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

bool IsLinkOrFile(DWORD attributes) {
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes one entry without following it: a file, a link, or a folder (which must be empty).
// On Windows, RemoveDirectoryW on a junction or folder link removes the link alone. (Wine 8
// resolves a folder link to its target and refuses, as the target is not empty: the link
// stays and is logged, and the target is never entered.)
void RemoveEntry(const std::wstring& path, DWORD attributes, const wchar_t* failureText) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                           ? ::RemoveDirectoryW(path.c_str()) != FALSE
                           : ::DeleteFileW(path.c_str()) != FALSE;
  if (!removed) SfxLog::Write(1, failureText + path);
}

// A path of MAX_PATH or more reaches the file system only in its extended form, unless the
// system was set to allow long paths.
std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

}  // namespace

void DeleteFolderTree(std::wstring folder) {
  if (folder.size() < 4) return;  // never a drive root
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsLinkOrFile(attributes)) {
    // The folder itself is a link: remove the link, never what it points to.
    RemoveEntry(folder, attributes, L"Attempted to cleanup folder failed: ");
    return;
  }
  std::wstring base = folder;
  if (base.back() == L'\\') base.pop_back();
  WIN32_FIND_DATAW entry;
  ScopedFindHandle find(::FindFirstFileW((base + L"\\*.*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + L"\\" + name;
      if (IsLinkOrFile(entry.dwFileAttributes)) {
        RemoveEntry(path, entry.dwFileAttributes, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                                      ? L"Attempted to cleanup folder failed: "
                                                      : L"Attempted to cleanup file failed: ");
      } else {
        DeleteFolderTree(path);
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::RemoveDirectoryW(folder.c_str())) {
    SfxLog::Write(1, L"Attempted to cleanup folder failed: " + folder);
  }
}

void CZelkoSelfExtractorApp::Cleanup() {
  SfxLog::Write(1, L"Cleanup...");
  bFinished_ = TRUE;
  if (dialog_ != nullptr && dialog_->GetSafeHwnd() != nullptr) {
    ::PostMessageW(dialog_->GetSafeHwnd(), kEndDialogMessage, 0, 0);
  }
  for (int step = 0; step < kUiWaitSteps && uiThreadCount_ != 0; ++step) {
    WaitAnsweringSentMessages(nullptr, kUiWaitStepMs);
  }

  DeleteFileForcibly(configPath_);
  DeleteFileForcibly(installerBinPath_);
  if (!supportFolder_.empty()) {
    DeleteFolderTree(supportFolder_);
    ::RemoveDirectoryW(supportFolder_.c_str());
  }

  if (!bDoNotExecute_ && bCancelled_) {
    if (bInstallFolderOwned_) {
      DeleteFolderTree(installFolder_);
    } else {
      // The user's own folder: take back only what this run put there, newest first, so
      // each folder is empty of our files by the time it is removed.
      for (auto it = extractedPaths_.rbegin(); it != extractedPaths_.rend(); ++it) {
        const std::wstring path = ExtendedLengthPath(*it);
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
          ::RemoveDirectoryW(path.c_str());  // stays when the user's files are in it
        } else {
          ::DeleteFileW(path.c_str());
        }
      }
    }
  }
}

}  // namespace zelko
