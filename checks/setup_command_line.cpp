#include "checks/setup_command_line.h"

namespace zelko {

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
