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

// The keys of the [STRING] section of `text` that the installer never reads, as written.
std::vector<std::wstring> UnreadStringKeys(const std::wstring& text);

// A configured number as the installer reads it: leading blanks and a sign accepted, reading
// stops at the first non-digit, anything else gives 0.
long long ConfiguredNumber(const std::wstring& value);

}  // namespace zelko::pack
