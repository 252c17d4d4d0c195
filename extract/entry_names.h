// Which stored entry names may be written below a target folder, and reading those names
// from an archive's database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "7z.h"

namespace zelko {

// True when `name` (UTF-16, `length` units, no terminating zero) is a relative path whose every
// component names an ordinary file or folder, so that it cannot reach outside the folder it is
// resolved against. Both "/" and "\" count as separators. Refused: an empty name or component,
// an absolute, drive, UNC or "\\?\" form, "." and "..", any ":" (drive letters, alternate
// streams), reserved device names such as CON or NUL.txt, and components that end in a dot or
// a blank (Windows would silently drop those, so two names could meet in one file).
bool IsSafeEntryName(const uint16_t* name, size_t length);

// The stored name of entry `index`, as SzArEx_GetFileNameUtf16 gives it: the length in UTF-16
// units, terminating zero included, and the units copied to `dest` when it is not null. An
// archive may store no names at all; the SDK then keeps no name table, and every entry here
// has the empty name (length 0, nothing copied), which IsSafeEntryName refuses.
size_t GetStoredEntryName(const CSzArEx& db, size_t index, UInt16* dest);

// Looks at every stored name of `db` and finds the first that IsSafeEntryName refuses: true,
// with its units (no terminating zero) in `name`, when there is one.
bool FindRefusedEntryName(const CSzArEx& db, std::vector<uint16_t>* name);

}  // namespace zelko
