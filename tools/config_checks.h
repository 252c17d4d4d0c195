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

// The payload `text` asks for against the inputs given: with Compression empty or "7z" the
// installer extracts the archive (`archive`) and ignores file resources; with any other
// value it writes the file resources (`files` of them, named by FILE_0, FILE_1, ...) and
// never opens an archive (`archive` or `rdcArchive`). False with `why`, a clause that follows
// "the configuration", when the installer would install nothing or never use an input.
bool CheckPayload(const std::wstring& text, bool archive, bool rdcArchive, size_t files,
                  std::wstring* why);

// False with `why` (as above) when InstallerFolderSizeInMB or RDCFolderSizeInMB is negative:
// the installer would count it as not given, so its free-space check would be short.
bool CheckConfiguredSizes(const std::wstring& text, std::wstring* why);

// The keys of SetupArgs1 and SetupArgs2 in [INSTALL] of `text` whose values are longer than
// the installer reads (kLongestReadValue characters): the setup program gets them cut.
constexpr size_t kLongestReadValue = 254;
std::vector<std::wstring> OverlongSetupArguments(const std::wstring& text);

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
