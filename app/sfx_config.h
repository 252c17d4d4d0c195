// Settings of the run, read from the extracted configuration file ("config.bin") each time
// they are asked for. There is no cache, so a value read after the cleanup has removed the
// file is empty. A lookup is safe from any thread: the file's path, theApp.configPath_, is set
// before the first lookup and before the user-interface thread starts, and never changes while
// that thread runs.
#pragma once

#include <string>

namespace zelko {

class SfxConfig {
 public:
  // The value of `key` in `section` (both matched without regard to case), with surrounding
  // blanks and one pair of enclosing quotes removed and at most 254 characters; empty when
  // the file, the section or the key is missing.
  static std::wstring GetValue(const wchar_t* section, const wchar_t* key);
  // The text a user sees under `key`: from the configuration's sections of the run's UI
  // language (theApp.uiLanguage_), most specific first, else from [STRING]; empty when none
  // has it, and the caller's built-in default applies. An empty value counts as missing.
  static std::wstring GetText(const wchar_t* key);
  // Whether the configuration has `section` with at least one line in it.
  static bool HasSection(const wchar_t* section);
};

// A configured number, read like the C runtime's string-to-integer conversion: leading blanks
// and a sign accepted, reading stops at the first non-digit, anything else gives 0.
long ConfigNumber(const std::wstring& value);

}  // namespace zelko
