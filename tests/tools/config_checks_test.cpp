#include "tools/config_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelko::pack {
namespace {

TEST(LocaleNameTest, TakesTheSystemsNamesAndNothingElse) {
  for (const wchar_t* name : {L"de", L"de-DE", L"pt-BR", L"zh-Hans", L"zh-Hant-TW", L"sr-Latn-RS",
                              L"es-419", L"fil-PH", L"ca-ES-valencia", L"DE-de", L"de-1996"}) {
    EXPECT_TRUE(IsLocaleName(name)) << testing::PrintToString(std::wstring(name));
  }
  for (const wchar_t* name :
       {L"", L"d", L"deut-DE", L"de_DE", L"de DE", L"de-", L"-DE", L"de--DE", L"German",
        L"de-DE-", L"de-D", L"de-DEU", L"de-12", L"de-DE_phoneb", L"\u00E9s-ES", L"de-verylongvariant"}) {
    EXPECT_FALSE(IsLocaleName(name)) << testing::PrintToString(std::wstring(name));
  }
}

TEST(LanguageSectionsTest, RefusesTheFirstSectionWithoutALocaleName) {
  std::wstring why;
  EXPECT_TRUE(CheckLanguageSections(L"[STRING]\r\nA=1\r\n[string.de-DE]\r\n[STRING.pt-BR]\r\n"
                                    L"[STRINGS]\r\n[Strings.x]\r\n",
                                    &why));
  EXPECT_FALSE(CheckLanguageSections(L"[STRING.de]\r\n[STRING.de_DE]\r\n[STRING.]\r\n", &why));
  EXPECT_EQ(why,
            L"has a section [STRING.de_DE], which no user's language would ever select: name a "
            L"language section [STRING.<locale>] with a locale name such as de-DE, de, pt-BR or "
            L"zh-Hans");
  EXPECT_FALSE(CheckLanguageSections(L"[ String. ]\r\n", &why));
  EXPECT_NE(why.find(L"[String.]"), std::wstring::npos) << testing::PrintToString(why);
}

TEST(UnreadStringKeysTest, NamesEachTextSectionsUnreadKeys) {
  const std::wstring text =
      L"[INSTALL]\r\nProductCode={12345678-9ABC-DEF0-1234-56789ABCDEF0}\r\nOther=1\r\n"
      L"[STRING]\r\nSFX_BTN_CANCLE=Cancel\r\nsfx_btn_cancel=Cancel\r\n"
      L"[string.de-DE]\r\nSFX_BTN_CANCEL=Abbrechen\r\nSFX_TITEL=Titel\r\n"
      L"[STRING.ar]\r\nSFX_DLG_TITLE=x\r\n"
      // A second section of a name the installer has read already: it is never reached.
      L"[STRING.DE-de]\r\nSFX_TITLE_CAPTIONBAR=Nie\r\n";
  const std::vector<UnreadKey> unread = UnreadStringKeys(text);
  ASSERT_EQ(unread.size(), 2u);
  EXPECT_EQ(unread[0].section, L"STRING");
  EXPECT_EQ(unread[0].key, L"SFX_BTN_CANCLE");
  EXPECT_EQ(unread[1].section, L"string.de-DE");
  EXPECT_EQ(unread[1].key, L"SFX_TITEL");
}

}  // namespace
}  // namespace zelko::pack
