// Starting the extracted setup program and waiting for it, with the one retry Windows asks
// for: a program whose manifest requires administrator rights cannot be started by our
// asInvoker process with CreateProcessW, only through the shell's "runas" verb, which asks
// the user for consent.
#pragma once

#include <windows.h>

#include <string>

#include "win/scoped_handle.h"

namespace zelko {

// ERROR_ELEVATION_REQUIRED, which not every SDK's headers name: CreateProcessW's answer for a
// program whose manifest asks for more rights than the caller has.
constexpr DWORD kErrorElevationRequired = 740;

// CreateProcessW takes a command line of at most 32,767 characters with its terminating null;
// a longer one fails on Windows and is cut without a word under Wine.
constexpr size_t kLongestCommandLine = 32766;

// The two ways of starting the setup program. The run uses the system's; tests put their own
// in its place, since no elevation prompt can be driven in a test.
class SetupProcessStarter {
 public:
  virtual ~SetupProcessStarter() = default;
  // CreateProcessW with `commandLine`, the program taken from it, in this process's current
  // directory. The process, or none with the system error in `*error`.
  virtual ScopedHandle Create(const std::wstring& commandLine, DWORD* error) = 0;
  // ShellExecuteExW with the verb "runas" for `program` with `arguments` in `folder`,
  // without any message of the shell's own. The process, or none with `*error`
  // (ERROR_CANCELLED when the user refused the elevation).
  virtual ScopedHandle CreateElevated(const std::wstring& program, const std::wstring& arguments,
                                      const std::wstring& folder, DWORD* error) = 0;
};

// The system's CreateProcessW and ShellExecuteExW.
SetupProcessStarter& SystemSetupStarter();

struct SetupLaunchResult {
  enum class Outcome {
    kFinished,           // ran and ended; exitCode holds its code
    kNoExitCode,         // ran and ended, but its exit code could not be read; error holds why
    kElevationRefused,   // needed elevation and the user said no
    kNotStarted,         // could not be started; error holds why
  };
  Outcome outcome = Outcome::kNotStarted;
  DWORD exitCode = 0;
  DWORD error = 0;        // the system error of kNotStarted, kElevationRefused, kNoExitCode
  bool elevated = false;  // the start went through "runas"
};

// Starts `program` with the command line `commandLine` (the program's path first), and when
// that needs elevation (kErrorElevationRequired) once more through "runas" with the same
// `arguments` (the command line after the path) in `folder`. Waits without a time limit and
// takes the exit code. Logs "CreateProcess failed" with the system error when it retries.
// A `commandLine` longer than kLongestCommandLine is not started at all (kNotStarted with
// ERROR_FILENAME_EXCED_RANGE, what Windows answers for one).
SetupLaunchResult LaunchSetupProgram(const std::wstring& program, const std::wstring& commandLine,
                                     const std::wstring& arguments, const std::wstring& folder,
                                     SetupProcessStarter& starter);

}  // namespace zelko
