// The user's temporary folder, where the run log and the run's support folder go.
#pragma once

#include <string>

namespace zelko {

// The temporary folder as GetTempPathW gives it, ending in a backslash; empty when the call
// fails or the path needs MAX_PATH characters or more. The last system error is left as
// GetTempPathW set it.
std::wstring TempPath();

}  // namespace zelko
