// The language of the texts a user sees. A configuration may carry, beside [STRING], one
// section per language ([STRING.de-DE], [STRING.de], [STRING.pt-BR], [STRING.zh-Hans]). The
// user's UI language is taken once per run, and every text is then looked up key by key in
// the sections of that language the configuration has, most specific first, and in [STRING]
// last; a partly translated section so shows its texts and falls back for the others.
#pragma once

#include <string>
#include <vector>

namespace zelko {

struct UiLanguage {
  // The user's UI language as the system names it ("de-DE"); empty before it is chosen.
  std::wstring name;
  // The configuration's sections for that language, in the order the texts are looked up in
  // them ("STRING.de-DE", "STRING.de"); [STRING] follows them and is not listed.
  std::vector<std::wstring> textSections;
  // The dialog is mirrored and message boxes read right to left: the language is written
  // right to left and the configuration has texts in it (an Arabic user of a configuration
  // without Arabic texts reads [STRING] left to right).
  bool bRightToLeft = false;
};

// The parent of a locale name as the system knows it ("zh-CN" gives "zh-Hans"), or empty.
using LocaleParent = std::wstring (*)(const std::wstring& name);

// The names a text of `name` is looked for under, most specific first: the name itself, then
// its parents as `parentOf` gives them, else the name without its last subtag, down to the
// bare language ("sr-Latn-RS", "sr-Latn", "sr"). Empty for an empty name.
std::vector<std::wstring> LanguageFallbacks(const std::wstring& name, LocaleParent parentOf);

// Whether the language of locale `name` is written right to left: Arabic, Hebrew, Persian,
// Urdu and the other languages in Arabic or Hebrew script, and any locale the system reports so.
bool IsRightToLeftLanguage(const std::wstring& name);

// The user's UI language: the first of the system's preferred UI languages, or the default UI
// language where the system has no such list. Empty when the system names none.
std::wstring UserUiLanguageName();

// The parent of `name` from the system (LOCALE_SPARENT), empty where it has none or cannot say.
std::wstring SystemLocaleParent(const std::wstring& name);

// Takes the user's UI language and the configuration's sections for it, and logs the choice
// ("UI language: de-DE"). Needs the configuration on disk.
UiLanguage ChooseUiLanguage();

}  // namespace zelko
