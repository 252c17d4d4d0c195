#include "tests/support/process_runner.h"

#include <map>

#include "win/message_wait.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

// The environment block of this process, with `overrides` applied ("NAME=value").
std::wstring BuildEnvironment(const std::vector<std::wstring>& overrides) {
  std::map<std::wstring, std::wstring> entries;  // key: upper-cased name
  std::map<std::wstring, std::wstring> names;
  auto add = [&](const std::wstring& entry) {
    const size_t eq = entry.find(L'=', 1);
    if (eq == std::wstring::npos) return;
    std::wstring key = entry.substr(0, eq);
    std::wstring upper = key;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    entries[upper] = entry;
  };
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) add(p);
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& entry : overrides) add(entry);
  std::wstring result;
  for (const auto& [key, entry] : entries) {
    result += entry;
    result.push_back(L'\0');
  }
  result.push_back(L'\0');
  return result;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring BuiltProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path, length);
  // Test binaries live in <build>\tests\, the programs in <build>\bin\.
  std::wstring folder = self.substr(0, self.find_last_of(L'\\'));
  folder = folder.substr(0, folder.find_last_of(L'\\'));
  return folder + L"\\bin\\";
}

ProcessResult RunProcess(const std::wstring& commandLine, const ProcessOptions& options) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readRaw = nullptr;
  HANDLE writeRaw = nullptr;
  if (!::CreatePipe(&readRaw, &writeRaw, &inherit, 0)) {
    result.startError = ::GetLastError();
    return result;
  }
  ScopedHandle readEnd(readRaw);
  ScopedHandle writeEnd(writeRaw);
  ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();

  std::wstring environment = BuildEnvironment(options.environment);
  std::wstring mutableCommand = commandLine;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, mutableCommand.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        options.currentDirectory.empty() ? nullptr
                                                         : options.currentDirectory.c_str(),
                        &startup, &info)) {
    result.startError = ::GetLastError();
    return result;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  writeEnd.reset();  // the child holds the only write end now, so reading ends with it
  result.started = true;

  // Poll the pipe rather than block on it, so a program that hangs (or a grandchild that
  // keeps the pipe open) cannot hold the test past its timeout.
  auto drain = [&] {
    char buffer[4096];
    DWORD available = 0;
    while (::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) &&
           available > 0) {
      DWORD read = 0;
      if (!::ReadFile(readEnd.get(), buffer, sizeof(buffer), &read, nullptr) || read == 0) return;
      result.output.append(buffer, read);
    }
  };
  const ULONGLONG deadline = ::GetTickCount64() + options.timeoutMs;
  for (;;) {
    drain();
    // The test's own windows keep answering: a thread of the test may be sending to them.
    if (WaitAnsweringSentMessages(process.get(), 20)) {
      drain();
      break;
    }
    if (::GetTickCount64() > deadline) {
      ::TerminateProcess(process.get(), 0xDEAD);
      ::WaitForSingleObject(process.get(), INFINITE);
      break;
    }
  }
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

}  // namespace zelko::test
