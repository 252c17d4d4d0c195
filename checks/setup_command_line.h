// The command line of the extracted setup program.
#pragma once

#include <string>

namespace zelko {

// The setup program's arguments: those passed on from this program's own command line
// (`passThrough`) with the configured `setupArgs1` and `setupArgs2`. When the passed-on
// arguments hold "/msi", `setupArgs1` goes in front of it and only the part of `setupArgs2`
// after its own "/msi" is added; otherwise both follow, separated by blanks.
std::wstring ComposeSetupArguments(const std::wstring& passThrough, const std::wstring& setupArgs1,
                                   const std::wstring& setupArgs2);

// The program's path, one blank and `arguments`. A path with a blank is quoted, so the
// system cannot take a shorter path for the program.
std::wstring SetupCommandLine(const std::wstring& runPath, const std::wstring& arguments);

// SetupCommandLine over ComposeSetupArguments.
std::wstring ComposeSetupCommandLine(const std::wstring& runPath, const std::wstring& passThrough,
                                     const std::wstring& setupArgs1,
                                     const std::wstring& setupArgs2);

}  // namespace zelko
