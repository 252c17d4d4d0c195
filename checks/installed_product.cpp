// Interim: the installed-product query is not made yet; the product counts as not installed.
#include "app/sfx_app.h"

namespace zelko {

BOOL CZelkoSelfExtractorApp::IsAlreadyInstalled() { return FALSE; }

}  // namespace zelko
