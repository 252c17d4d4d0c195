// Interim: the xRDC and validation modes are not recognised yet; every run is a normal one.
#include "app/sfx_app.h"

namespace zelko {

BOOL CZelkoSelfExtractorApp::HandleXrdcMode(const wchar_t* commandTail) { return FALSE; }

BOOL CZelkoSelfExtractorApp::ValidateArchive() { return FALSE; }

}  // namespace zelko
