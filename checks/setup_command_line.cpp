#include "checks/setup_command_line.h"

#include <windows.h>

#include "win/format_text.h"

namespace zelko {
namespace {

constexpr wchar_t kInstallPathMarker[] = L"%INSTALLPATH%";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:\..." or "\\server\..." (and "\\?\..."): the same file whatever the current folder.
// "C:setup.exe" and "\setup.exe" depend on the current folder of a drive, so they are not.
bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return true;
  return path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]) &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// `path` as the system resolves it against the current folder now.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  if (full.empty()) return path;
  full.resize(::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(),
                                 nullptr));
  return full.empty() ? path : full;
}

}  // namespace

std::wstring SetupProgramPath(const std::wstring& run, const std::wstring& installFolder) {
  // A relative folder (from the command line) is where the extraction went: below the current
  // folder, which the run has not changed since.
  const std::wstring folder = installFolder.empty() || IsAbsolutePath(installFolder)
                                   ? installFolder
                                   : FullPath(installFolder);
  const std::wstring path = ReplaceAll(run, kInstallPathMarker, folder);
  if (IsAbsolutePath(path) || folder.empty()) return path;
  const size_t nameStart = path.find_first_not_of(L"\\/");
  const std::wstring name = nameStart == std::wstring::npos ? L"" : path.substr(nameStart);
  return IsSeparator(folder.back()) ? folder + name : folder + L"\\" + name;
}

std::wstring ComposeSetupArguments(const std::wstring& passThrough, const std::wstring& setupArgs1,
                                   const std::wstring& setupArgs2) {
  static const std::wstring kMsi = L"/msi";
  std::wstring arguments = passThrough;
  const size_t msiAt = arguments.find(kMsi);
  if (msiAt == std::wstring::npos) {
    if (!arguments.empty()) arguments += L' ';
    arguments += setupArgs1;
    if (!arguments.empty()) arguments += L' ';
    arguments += setupArgs2;
  } else {
    // In front of the blank that precedes "/msi", right after the previous argument.
    if (!setupArgs1.empty()) arguments.insert(msiAt == 0 ? 0 : msiAt - 1, setupArgs1);
    const size_t ownMsiAt = setupArgs2.find(kMsi);
    if (ownMsiAt != std::wstring::npos) arguments += setupArgs2.substr(ownMsiAt + kMsi.size());
  }
  return arguments;
}

std::wstring SetupCommandLine(const std::wstring& runPath, const std::wstring& arguments) {
  const bool quote = runPath.find(L' ') != std::wstring::npos && runPath.front() != L'"';
  return (quote ? L"\"" + runPath + L"\"" : runPath) + L" " + arguments;
}

std::wstring ComposeSetupCommandLine(const std::wstring& runPath, const std::wstring& passThrough,
                                     const std::wstring& setupArgs1,
                                     const std::wstring& setupArgs2) {
  return SetupCommandLine(runPath, ComposeSetupArguments(passThrough, setupArgs1, setupArgs2));
}

}  // namespace zelko
