#include "tests/support/host_process.h"

#include <windows.h>

#include <atomic>

#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

// 'text' for the shell, with every ' closed, escaped and reopened.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::wstring Utf16(const std::string& utf8) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
  return text;
}

}  // namespace

std::string UnixPath(const std::wstring& windowsPath) {
  // Wine's own export from kernel32; it allocates the result on the process heap.
  using UnixFileNameFn = char*(CDECL*)(const wchar_t*);
  static const auto unixFileName = reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixFileName == nullptr) return {};
  char* name = unixFileName(windowsPath.c_str());
  if (name == nullptr) return {};
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

ProcessResult RunHostProgram(const std::string& program, const std::vector<std::string>& arguments,
                             unsigned timeoutMs) {
  static std::atomic<unsigned> runs{0};
  ProcessResult result;
  const TempFolder folder;
  const std::string unixFolder = UnixPath(folder.path());
  const std::wstring status = folder / L"status";
  std::string command = ShellQuoted(program);
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  const std::string script = command + " >" + ShellQuoted(unixFolder + "/output") + " 2>&1\n" +
                             "echo $? >" + ShellQuoted(unixFolder + "/status.part") + "\n" +
                             "mv " + ShellQuoted(unixFolder + "/status.part") + " " +
                             ShellQuoted(unixFolder + "/status") + "\n";
  const std::wstring scriptPath = folder / (L"run" + std::to_wstring(runs++) + L".sh");
  if (unixFolder.empty() || !WriteFileBytes(scriptPath, script)) return result;

  std::wstring commandLine = L"Z:\\bin\\sh " + QuoteArgument(Utf16(UnixPath(scriptPath)));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    result.startError = ::GetLastError();
    return result;
  }
  // The script reports its end through the status file, not through these.
  const ScopedHandle process(info.hProcess);
  const ScopedHandle thread(info.hThread);
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!FileExists(status)) {
    if (::GetTickCount64() > deadline) return result;
    ::Sleep(10);
  }
  result.started = true;
  result.exitCode = static_cast<DWORD>(std::stoul(ReadFileBytes(status)));
  result.output = ReadFileBytes(folder / L"output");
  return result;
}

std::string NativePacker() {
  std::wstring bin = BuiltProgramFolder();  // <build>\bin\ .
  bin.pop_back();
  return UnixPath(bin.substr(0, bin.find_last_of(L'\\')) + L"\\native\\bin\\zelko_pack");
}

}  // namespace zelko::test
