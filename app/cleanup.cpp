// Interim cleanup: removes the files of the support folder and the folder itself. The full
// cleanup (dialog, installer folder after a cancel) replaces it.
#include <windows.h>

#include "app/sfx_app.h"
#include "report/run_log.h"
#include "ui/progress_dialog.h"

namespace zelko {
namespace {

// Ends the progress dialog and waits for its thread, at most 50 times 200 ms; the files go
// afterwards in any case.
void EndProgressDialog(CZelkoSelfExtractorApp& app) {
  if (app.dialog_ != nullptr) {
    if (HWND window = app.dialog_->GetSafeHwnd()) {
      ::PostMessageW(window, kEndDialogMessage, 0, 0);
    }
  }
  for (int look = 0; look < 50 && app.uiThreadCount_ != 0; ++look) ::Sleep(200);
}

}  // namespace

void CZelkoSelfExtractorApp::Cleanup() {
  SfxLog::Write(1, L"Cleanup...");
  bFinished_ = TRUE;
  EndProgressDialog(*this);
  for (const std::wstring* file : {&configPath_, &installerBinPath_, &rdcBinPath_}) {
    if (!file->empty()) ::DeleteFileW(file->c_str());
  }
  if (!supportFolder_.empty()) ::RemoveDirectoryW(supportFolder_.c_str());
}

}  // namespace zelko
