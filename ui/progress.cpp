// Interim: progress is not reported yet.
#include "ui/progress.h"

#include "app/sfx_app.h"

namespace zelko {

void CZelkoSelfExtractorApp::StartProgress(uint32_t totalKB) {}

void ReportProgress(uint32_t amountKB) {}

}  // namespace zelko
