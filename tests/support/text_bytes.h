// Byte forms of texts as the program's files hold them.
#pragma once

#include <windows.h>

#include <string>

namespace zelko::test {

// A configuration file as the packer stores it: UTF-16LE after a byte-order mark.
std::string Utf16LeWithBom(const std::wstring& text);

// The system's text for `error` as the run log stores it: each line feed as CR LF.
std::string SystemTextBytes(DWORD error);

}  // namespace zelko::test
