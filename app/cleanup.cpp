#include <windows.h>

#include "app/sfx_app.h"
#include "report/run_log.h"
#include "ui/progress_dialog.h"
#include "win/folder_tree.h"
#include "win/message_wait.h"

namespace zelko {
namespace {

// After that the deletions go ahead, with the user-interface thread maybe still running.
constexpr DWORD kUiWaitMs = 10000;

void DeleteFileForcibly(const std::wstring& path) {
  if (path.empty()) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

}  // namespace

void CZelkoSelfExtractorApp::Cleanup() {
  SfxLog::Write(1, L"Cleanup...");
  bFinished_ = TRUE;
  if (dialog_ != nullptr && dialog_->GetSafeHwnd() != nullptr) {
    ::PostMessageW(dialog_->GetSafeHwnd(), kEndDialogMessage, 0, 0);
  }
  if (uiThread_ != nullptr) WaitAnsweringSentMessages(uiThread_, kUiWaitMs);

  DeleteFileForcibly(configPath_);
  DeleteFileForcibly(installerBinPath_);
  if (!supportFolder_.empty()) {
    DeleteFolderTree(supportFolder_, SfxLog::Write);
    ::RemoveDirectoryW(supportFolder_.c_str());
  }

  if (!bDoNotExecute_ && bCancelled_) {
    if (bInstallFolderOwned_) {
      DeleteFolderTree(installFolder_, SfxLog::Write);
    } else {
      // The user's own folder: take back only what this run put there, newest first, so
      // each folder is empty of our files by the time it is removed.
      for (auto it = extractedPaths_.rbegin(); it != extractedPaths_.rend(); ++it) {
        const std::wstring path = LongPathForm(*it);
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
  // A folder the payload never reached, or whose payload was taken back: the folders made on
  // the way to it go again, each only when empty, so nothing of the user's goes with them.
  if (!bSetupStarting_ || (!bDoNotExecute_ && bCancelled_)) RemoveCreatedFolders(createdFolders_);
}

}  // namespace zelko
