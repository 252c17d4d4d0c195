#include "win/command_line.h"

namespace zelko {

const wchar_t* ArgumentsAfterProgramName(const wchar_t* commandLine) {
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    // A quoted name ends at its closing quote; what follows at once is the next argument
    // ("C:\x\setup.exe"/q has the argument /q), as the C runtime splits it.
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

}  // namespace zelko
