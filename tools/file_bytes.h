// Whole-file reads and writes through an open handle, in chunks a single call can take.
#pragma once

#include <windows.h>

#include <string>

namespace zelko::pack {

// Reads from the current position to the end of `file` (of `size` bytes in all). False with
// the system error in `error`; ERROR_HANDLE_EOF when the file ended early.
bool ReadAll(HANDLE file, size_t size, std::string* bytes, DWORD* error);

// Writes all of `bytes` at the current position. False with the system error in `error`.
bool WriteAll(HANDLE file, const char* bytes, size_t size, DWORD* error);

}  // namespace zelko::pack
