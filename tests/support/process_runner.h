// Starts a Windows program with an exact command line and waits for it, for tests that run
// the built programs (installers, the packer) as a user or a calling service would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zelko::test {

struct ProcessResult {
  bool started = false;
  DWORD startError = 0;   // GetLastError of CreateProcessW when it failed
  DWORD exitCode = 0;     // what GetExitCodeProcess reports; full 32 bits
  std::string output;     // standard output and standard error together
};

struct ProcessOptions {
  // Extra "NAME=value" environment entries that replace or add to the test's own.
  std::vector<std::wstring> environment;
  std::wstring currentDirectory;
  DWORD timeoutMs = 120000;
};

// Runs `commandLine` exactly as given (program path quoted by the caller where needed).
ProcessResult RunProcess(const std::wstring& commandLine, const ProcessOptions& options = {});

// The folder holding the built programs (ZelkoSFX.exe, zelko_pack.exe), with a trailing "\".
std::wstring BuiltProgramFolder();

// Quotes one argument for a Windows command line when it needs it.
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace zelko::test
