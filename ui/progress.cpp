// Interim: progress is not reported yet.
#include "app/sfx_app.h"

namespace zelko {

void CZelkoSelfExtractorApp::StartProgress(uint32_t totalKB) {}

}  // namespace zelko
