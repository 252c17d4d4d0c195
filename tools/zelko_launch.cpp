// zelko_launch: runs a command line exactly as given, waits for it and prints its full 32-bit
// exit code. Wine's own process status keeps only the low 8 bits, and an installer's codes
// (150105, 3010) need all of them.
//
//   zelko_launch <program> [arguments...]
// Everything after zelko_launch's own name is passed on verbatim, quotes included.
#include <windows.h>

#include <cstdio>
#include <string>

#include "win/command_line.h"
#include "win/scoped_handle.h"

int wmain() {
  const wchar_t* tail = zelko::ArgumentsAfterProgramName(::GetCommandLineW());
  if (*tail == L'\0') {
    fputs("usage: zelko_launch <program> [arguments...]\n", stderr);
    return 2;
  }
  std::wstring command = tail;  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started =
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info);
  const DWORD startError = ::GetLastError();
  if (!started) {
    fprintf(stderr, "zelko_launch: error: cannot start the program (system error %lu)\n",
            startError);
    return 1;
  }
  zelko::ScopedHandle process(info.hProcess);
  zelko::ScopedHandle thread(info.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.get(), &exitCode);
  printf("exit code: %ld\n", static_cast<long>(exitCode));
  return 0;
}
