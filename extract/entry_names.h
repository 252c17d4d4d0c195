// Which stored entry names may be written below a target folder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelko {

// True when `name` (UTF-16, `length` units, no terminating zero) is a relative path whose every
// component names an ordinary file or folder, so that it cannot reach outside the folder it is
// resolved against. Both "/" and "\" count as separators. Refused: an empty name or component,
// an absolute, drive, UNC or "\\?\" form, "." and "..", any ":" (drive letters, alternate
// streams), reserved device names such as CON or NUL.txt, and components that end in a dot or
// a blank (Windows would silently drop those, so two names could meet in one file).
bool IsSafeEntryName(const uint16_t* name, size_t length);

}  // namespace zelko
