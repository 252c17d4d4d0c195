// The system's own words for an error code, for the packer's one-line error messages.
#pragma once

#include <windows.h>

#include <string>

namespace zelko::pack {

// FormatMessageW's text for `code` without the trailing line end and full stop, followed by
// the code itself, e.g. "Access denied (error 5)". Only the code when the system has no text,
// and a plain remark for code 0.
std::wstring SystemMessage(DWORD code);

}  // namespace zelko::pack
