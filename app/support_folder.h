// The run's private folder in the temporary folder.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

// Sets `folder` to the temporary folder followed directly by a random decimal number and
// creates it. A name that already exists is never taken: after ten attempts the result is the
// last system error and `folder` holds the last name tried. Returns 0 on success.
DWORD CreateSupportFolder(std::wstring& folder);

}  // namespace zelko
