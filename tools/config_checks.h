// What the installer would refuse or ignore in a configuration, found when the installer is
// built rather than on the user's machine.
#pragma once

#include <string>
#include <vector>

namespace zelko::pack {

// True when [INSTALL] ProductCode of the decoded configuration `text` is a product code in
// braces, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in hexadecimal digits. Otherwise false with
// `why`, a clause that follows "the configuration". The installer stops without one, and names
// its folder and asks Windows Installer by it.
bool CheckProductCode(const std::wstring& text, std::wstring* why);

// Whether `name` is a well-formed locale name, as the system names a UI language: a language
// of 2 or 3 letters, then optionally a script of 4 letters, a region of 2 letters or 3 digits
// and variants, each after a hyphen (de, de-DE, pt-BR, zh-Hans, sr-Latn-RS, es-419).
bool IsLocaleName(const std::wstring& name);

// True when every section of `text` named [STRING.<name>] has a well-formed locale name, so
// that a user of that language gets its texts. Otherwise false with `why`, a clause that
// follows "the configuration". A misnamed section ([STRING.de_DE], [STRING.German]) would
// never be read.
bool CheckLanguageSections(const std::wstring& text, std::wstring* why);

// A key of a text section that the installer never reads: the section as a warning names it
// ("STRING", or "STRING.de-DE" as written) and the key as written.
struct UnreadKey {
  std::wstring section;
  std::wstring key;
};

// The keys of [STRING] and of each [STRING.<locale>] section of `text` that the installer
// never reads, section by section in file order.
std::vector<UnreadKey> UnreadStringKeys(const std::wstring& text);

// A configured number as the installer reads it: leading blanks and a sign accepted, reading
// stops at the first non-digit, anything else gives 0.
long long ConfiguredNumber(const std::wstring& value);

}  // namespace zelko::pack
