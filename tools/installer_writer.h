// Writes an installer: the stub's bytes with resources added through the system's
// resource-update API. The output is built next to its final place and moved there only when
// complete, so a failed run never leaves a half-written installer behind nor harms an
// existing one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "resources/payload_resources.h"

namespace zelko::pack {

struct PackedResource {
  std::wstring type;
  WORD id = 0;
  std::string bytes;
};

// Returns true when the program at `stubPath` can be opened as an image and holds none of the
// installer's resource types; otherwise false with the reason in `why`, a clause that follows
// "the stub". A stub that was
// packed before would keep its old archive or files wherever the new build leaves them out.
bool CheckStubIsBare(const std::wstring& stubPath, std::wstring* why);

// Writes `stub` plus `resources` to `output`, replacing an existing file. On failure returns
// false with a message naming the output and the cause; the output is then as it was before
// and no temporary file remains.
bool WriteInstaller(const std::wstring& output, const std::string& stub,
                    const std::vector<PackedResource>& resources, std::wstring* error);

}  // namespace zelko::pack
