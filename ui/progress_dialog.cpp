// Interim: no progress dialog yet; the run goes on without one.
#include "ui/progress_dialog.h"

#include "app/sfx_app.h"

namespace zelko {

BOOL CZelkoSelfExtractorApp::InitDialog() { return TRUE; }

}  // namespace zelko
