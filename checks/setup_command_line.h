// Where the extracted setup program is, and the command line it is started with.
#pragma once

#include <string>

namespace zelko {

// The setup program's full path: `run` with every "%INSTALLPATH%" (case as written) replaced
// by the installer folder, made absolute when it was given relative. A result that is still
// relative (neither a drive with its root nor a path starting with "\\") is taken inside
// the installer folder: left to the system, a relative name would be looked for beside this
// program and in the current folder first, where anyone may have put a program of that name.
// An absolute path outside the folder is the maker's choice and stays as it is. (Without a
// folder, which no run that extracted anything has, the result is left as replaced.)
std::wstring SetupProgramPath(const std::wstring& run, const std::wstring& installFolder);

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
