#include "checks/setup_launch.h"

#include <shellapi.h>

#include "report/run_log.h"
#include "win/com_apartment.h"

namespace zelko {
namespace {

class SystemStarter : public SetupProcessStarter {
 public:
  ScopedHandle Create(const std::wstring& commandLine, DWORD* error) override {
    std::wstring writable = commandLine;  // CreateProcessW may write into its command line
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
      *error = ::GetLastError();
      return ScopedHandle();
    }
    const ScopedHandle thread(info.hThread);  // only the process is waited on
    *error = 0;
    return ScopedHandle(info.hProcess);
  }

  ScopedHandle CreateElevated(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder, DWORD* error) override {
    ScopedComApartment com;
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    // The process handle to wait on, the start done before the call returns, and no box of
    // the shell's own: a failure is the run's to report.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"runas";
    execute.lpFile = program.c_str();
    execute.lpParameters = arguments.c_str();
    execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    execute.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&execute)) {
      *error = ::GetLastError();
      return ScopedHandle();
    }
    *error = 0;
    return ScopedHandle(execute.hProcess);
  }
};

}  // namespace

SetupProcessStarter& SystemSetupStarter() {
  static SystemStarter starter;
  return starter;
}

SetupLaunchResult LaunchSetupProgram(const std::wstring& program, const std::wstring& commandLine,
                                     const std::wstring& arguments, const std::wstring& folder,
                                     SetupProcessStarter& starter) {
  SetupLaunchResult result;
  if (commandLine.size() > kLongestCommandLine) {
    result.outcome = SetupLaunchResult::Outcome::kNotStarted;
    result.error = ERROR_FILENAME_EXCED_RANGE;
    return result;
  }
  DWORD error = 0;
  ScopedHandle process = starter.Create(commandLine, &error);
  if (!process && error == kErrorElevationRequired) {
    ::SetLastError(error);
    SfxLog::Write(1, L"CreateProcess failed", 1);
    result.elevated = true;
    process = starter.CreateElevated(program, arguments, folder, &error);
    if (!process && error == ERROR_CANCELLED) {
      result.outcome = SetupLaunchResult::Outcome::kElevationRefused;
      result.error = error;
      return result;
    }
  }
  if (!process) {
    result.outcome = SetupLaunchResult::Outcome::kNotStarted;
    result.error = error;
    return result;
  }
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.get(), &exitCode)) {
    result.outcome = SetupLaunchResult::Outcome::kFinished;
    result.exitCode = exitCode;
  } else {
    result.outcome = SetupLaunchResult::Outcome::kNoExitCode;
    result.error = ::GetLastError();
  }
  return result;
}

}  // namespace zelko
