#include "win/command_line.h"

namespace zelko {

const wchar_t* ArgumentsAfterProgramName(const wchar_t* commandLine) {
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  }
  while (*p && *p != L' ' && *p != L'\t') ++p;
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

}  // namespace zelko
