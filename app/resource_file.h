// Interim writer of one of the program's resources to a file, until the resource writer with
// progress, pause and cancel takes its place. Results as that writer's: 0 written, 6 when the
// resource is missing or the file cannot be created, 29 when writing fails.
#pragma once

#include <string>

namespace zelko {

int WriteResourceFile(const std::wstring& path, int id, const wchar_t* type);

}  // namespace zelko
