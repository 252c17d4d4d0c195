// Interim cleanup: removes the files of the support folder and the folder itself. The full
// cleanup (dialog, installer folder after a cancel) replaces it.
#include <windows.h>

#include "app/sfx_app.h"
#include "report/run_log.h"

namespace zelko {

void CZelkoSelfExtractorApp::Cleanup() {
  SfxLog::Write(1, L"Cleanup...");
  bFinished_ = TRUE;
  for (const std::wstring* file : {&configPath_, &installerBinPath_, &rdcBinPath_}) {
    if (!file->empty()) ::DeleteFileW(file->c_str());
  }
  if (!supportFolder_.empty()) ::RemoveDirectoryW(supportFolder_.c_str());
}

}  // namespace zelko
