// Interim: no requirement is checked yet, so every machine qualifies.
#include "app/sfx_app.h"

namespace zelko {

BOOL CZelkoSelfExtractorApp::CheckSystemRequirements() { return TRUE; }

}  // namespace zelko
