// Interim: no payload is extracted and no setup program is started yet.
#include "app/sfx_app.h"
#include "report/run_log.h"

namespace zelko {

BOOL CZelkoSelfExtractorApp::SetupInstaller() {
  SfxLog::Write(1, L"SetupInstaller...");
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::StartInstaller() {
  SfxLog::Write(1, L"StartInstaller...");
  return TRUE;
}

}  // namespace zelko
