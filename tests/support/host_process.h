// Runs programs of the Linux machine that Wine runs on (the native packer, the system's own
// tools) from a test under Wine, and waits for them.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process_runner.h"

namespace zelko::test {

// The Linux path of a Windows path, as Wine maps it ("" when Wine cannot).
std::string UnixPath(const std::wstring& windowsPath);

// Runs the Linux program at `program` (a Linux path) with `arguments` (UTF-8, passed exactly)
// and waits up to `timeoutMs` for it. Wine starts a Linux program on its own, without a
// process the test could wait on or a pipe for its output, so a small shell script runs it,
// collects its output in a file and writes its exit status last; the test waits for that.
// `started` is false when the script could not start or the program did not end in time.
ProcessResult RunHostProgram(const std::string& program, const std::vector<std::string>& arguments,
                             unsigned timeoutMs = 120000);

// The native packer of this build (build/native/bin/zelko_pack), as a Linux path.
std::string NativePacker();

}  // namespace zelko::test
