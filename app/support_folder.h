// The run's private folder in the temporary folder, and the ones earlier runs left there.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

// The files a run writes its resources to in its support folder, and nothing else goes there.
constexpr wchar_t kConfigFileName[] = L"config.bin";
constexpr wchar_t kArchiveFileName[] = L"installer.bin";
constexpr wchar_t kRdcArchiveFileName[] = L"RDC.bin";

// Sets `folder` to the temporary folder followed directly by a random decimal number and
// creates it. A name that already exists is never taken: after ten attempts the result is the
// last system error and `folder` holds the last name tried. Returns 0 on success.
DWORD CreateSupportFolder(std::wstring& folder);

// Removes the support folders of earlier runs that were killed before their cleanup, from
// `tempPath` (ending in a backslash), and logs each removal. Only a folder that is provably
// one of ours and abandoned goes: a name of decimal digits only, not `ownFolder`, no link or
// junction, holding nothing but config.bin, installer.bin and RDC.bin (at least one), each a
// plain file last written more than an hour ago, and no run of the product its config.bin
// names under way (holding the product's lock). Anything else stays untouched, and of such a
// folder only those files are deleted: whatever appeared in it meanwhile keeps it.
void RemoveAbandonedSupportFolders(const std::wstring& tempPath, const std::wstring& ownFolder);

}  // namespace zelko
