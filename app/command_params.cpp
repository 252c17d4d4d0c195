#include "app/command_params.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "report/run_log.h"
#include "win/command_line.h"

namespace zelko {
namespace {

bool EqualsNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
  return _wcsnicmp(text, prefix, wcslen(prefix)) == 0;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Position just after the argument that starts at `at`: the end of a run of characters outside
// quotes that are not blanks. A quote preceded by an odd number of backslashes is a literal.
size_t SkipArgument(const wchar_t* commandLine, size_t at) {
  bool quoted = false;
  size_t backslashes = 0;
  for (; commandLine[at]; ++at) {
    const wchar_t c = commandLine[at];
    if (!quoted && IsBlank(c)) break;
    if (c == L'"' && backslashes % 2 == 0) quoted = !quoted;
    backslashes = (c == L'\\') ? backslashes + 1 : 0;
  }
  return at;
}

size_t SkipBlanks(const wchar_t* commandLine, size_t at) {
  while (IsBlank(commandLine[at])) ++at;
  return at;
}

}  // namespace

CommandParams::CommandParams(const wchar_t* commandLine, int argc, wchar_t* const* argv) {
  if (commandLine == nullptr) commandLine = L"";
  SfxLog::Write(1, L"CommandParam CmdLine: ", commandLine, 0);

  // Where the next argument begins on the command line. Counted over the raw text, so quotes
  // and extra blanks around consumed switches cannot shift it.
  size_t position = static_cast<size_t>(ArgumentsAfterProgramName(commandLine) - commandLine);
  int index = 1;
  for (; index < argc; ++index) {
    const wchar_t* argument = argv[index];
    const bool candidate = argument[0] == L'/' || argument[0] == L'-';
    const wchar_t* rest = candidate ? argument + 1 : argument;
    bool consumed = false;
    if (candidate && (EqualsNoCase(rest, L"Kiv") || EqualsNoCase(rest, L"K"))) {
      bKiv_ = true;
      consumed = true;
    } else if (candidate && wcslen(rest) >= 4 &&
               (StartsWithNoCase(rest, L"nos") || StartsWithNoCase(rest, L"sfx"))) {
      const wchar_t* s = rest + 3;
      if (EqualsNoCase(s, L"_ne")) bDoNotExecute_ = true;
      if (EqualsNoCase(s, L"_nd")) bDoNotDelete_ = true;
      if (EqualsNoCase(s, L"_nu")) bSilent_ = true;
      if (EqualsNoCase(s, L"_va")) bValidate_ = true;
      if (EqualsNoCase(s, L"_db")) bDebug_ = true;
      if (StartsWithNoCase(s, L"_o")) outputFolder_ = argument + 6;
      consumed = true;  // an unknown switch of the family is consumed without effect
    }
    if (!consumed) break;
    position = SkipBlanks(commandLine, SkipArgument(commandLine, position));
  }
  if (index >= argc) return;  // every argument was a switch of ours: nothing to pass on

  // The tail starts where the first passed-on argument starts, its opening quote included,
  // so the setup program gets the argument as the caller quoted it.
  passToSetup_ = commandLine + position;
  for (; index < argc; ++index) {
    const wchar_t* argument = argv[index];
    if (wcscmp(argument, L"/sAll") == 0 || wcscmp(argument, L"/q") == 0 ||
        wcscmp(argument, L"/qn") == 0) {
      bSilent_ = true;
    } else if (wcscmp(argument, L"/re") == 0) {
      bVuh_ = true;
    }
    // "/sPB" is known to setup programs and changes nothing here.
  }
}

void CommandParams::Log() const {
  if (passToSetup_ != nullptr) SfxLog::Write(1, L"CommandParam passToSetup_  : ", passToSetup_, 0);
  if (outputFolder_ != nullptr) SfxLog::Write(1, L"CommandParam outputFolder_ : ", outputFolder_, 0);
  if (bSilent_) SfxLog::Write(1, L"CommandParam bSilent_");
  if (bDoNotExecute_) SfxLog::Write(1, L"CommandParam bDoNotExecute_");
  if (bDoNotDelete_) SfxLog::Write(1, L"CommandParam bDoNotDelete_");
  if (bBasicUI_) SfxLog::Write(1, L"CommandParam bBasicUI_");
  if (bValidate_) SfxLog::Write(1, L"CommandParam bValidate_");
  if (bKiv_) SfxLog::Write(1, L"CommandParam bKiv_");
  if (bVuh_) SfxLog::Write(1, L"CommandParam bVuh_");
  if (bDebug_) SfxLog::Write(1, L"CommandParam bDebug_");
}

}  // namespace zelko
