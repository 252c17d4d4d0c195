// The run's private folder in the temporary folder, and the proof that a folder is writable.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

// Sets `folder` to the temporary folder followed directly by a random decimal number and
// creates it. A name that already exists is never taken: after ten attempts the result is the
// last system error and `folder` holds the last name tried. Returns 0 on success.
DWORD CreateSupportFolder(std::wstring& folder);

// Creates `folder` (with its parents) when missing, then creates and deletes a new file in it.
// Returns 0 when that worked, else the system error code.
DWORD TestFolderWritable(const std::wstring& folder);

}  // namespace zelko
