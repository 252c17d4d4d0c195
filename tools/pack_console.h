// The packer's output lines: wide text to a Windows console, UTF-8 to a file, a pipe or a
// Linux terminal, so that the output of a build script keeps every character.
#pragma once

#include <string>

namespace zelko::pack {

enum class OutputStream { kOut, kError };

// Writes `text` and a line end (CR LF on Windows, LF elsewhere).
void WriteLine(OutputStream stream, const std::wstring& text);

}  // namespace zelko::pack
