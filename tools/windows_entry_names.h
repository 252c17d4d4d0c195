// Entry names that pass the installer's own checks but that Windows still cannot create as
// laid out: characters no Windows file name may hold, and one name used both for a file and
// for a folder. The installer would fail on the user's machine halfway through the extraction;
// the packer refuses such an archive instead.
#pragma once

#include <string>

#include "7z.h"

namespace zelko::pack {

// Looks at every entry of `db` and finds the first whose name no Windows file system accepts
// (one of < > " | ? * or a control character; ":" is the installer's own refusal) or that is a
// file where another entry needs a folder of that name (names compared as Windows does, "/"
// and "\" alike and without regard to case). True with `why`, a clause that follows "it", that
// names the entry and says how to mend the archive.
bool FindUncreatableEntryName(const CSzArEx& db, std::wstring* why);

}  // namespace zelko::pack
