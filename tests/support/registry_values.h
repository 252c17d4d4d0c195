// Registry values as the callers of an installer read them after a run.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace zelko::test {

// The REG_DWORD `name` under `hive`\`key`; none when it is missing or of another type.
std::optional<DWORD> ReadDword(HKEY hive, const wchar_t* key, const wchar_t* name);
// The REG_SZ `name` under `hive`\`key`; none when it is missing or of another type.
std::optional<std::wstring> ReadString(HKEY hive, const wchar_t* key, const wchar_t* name);

}  // namespace zelko::test
