// The system's own text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

// FormatMessageW's text for `code` in the user's default language, as the system gives it
// (usually ending in CR LF); empty when the system has none.
std::wstring SystemMessageText(DWORD code);

}  // namespace zelko
