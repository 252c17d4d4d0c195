#include "app/ui_language.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"

namespace zelko {
namespace {

using test::TempFolder;

std::wstring NoParent(const std::wstring&) { return L""; }

// Parents as Windows names them where they are not the name less its last subtag.
std::wstring ChineseParents(const std::wstring& name) {
  if (name == L"zh-CN" || name == L"zh-SG") return L"zh-Hans";
  if (name == L"zh-TW") return L"zh-Hant";
  if (name == L"de") return L"iv";  // the invariant locale is no language
  if (name == L"zh-Hans") return L"zh-CN";  // a loop ends at the first name seen again
  return L"";
}

TEST(LanguageFallbacksTest, MostSpecificFirstDownToTheBareLanguage) {
  struct Case {
    const wchar_t* name;
    LocaleParent parentOf;
    std::vector<std::wstring> expected;
  } const cases[] = {
      {L"de-DE", NoParent, {L"de-DE", L"de"}},
      {L"de-DE", nullptr, {L"de-DE", L"de"}},
      {L"de", ChineseParents, {L"de"}},
      {L"sr-Latn-RS", NoParent, {L"sr-Latn-RS", L"sr-Latn", L"sr"}},
      {L"zh-CN", ChineseParents, {L"zh-CN", L"zh-Hans", L"zh"}},
      {L"zh-TW", ChineseParents, {L"zh-TW", L"zh-Hant", L"zh"}},
      {L"", NoParent, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageFallbacks(c.name, c.parentOf), c.expected)
        << testing::PrintToString(std::wstring(c.name));
  }
}

TEST(LanguageFallbacksTest, SystemParentOfANeutralLanguageAddsNothing) {
  const std::vector<std::wstring> expected = {L"de-DE", L"de"};
  EXPECT_EQ(LanguageFallbacks(L"de-DE", SystemLocaleParent), expected);
}

TEST(RightToLeftLanguageTest, ArabicHebrewPersianUrduAndTheirScripts) {
  for (const wchar_t* name : {L"ar", L"ar-SA", L"AR-eg", L"he-IL", L"fa-IR", L"ur-PK", L"ps-AF",
                              L"yi", L"pa-Arab-PK", L"az-Arab", L"ug-CN", L"dv-MV"}) {
    EXPECT_TRUE(IsRightToLeftLanguage(name)) << testing::PrintToString(std::wstring(name));
  }
  for (const wchar_t* name : {L"", L"de-DE", L"en-US", L"pa-IN", L"zh-Hans", L"ru-RU", L"el-GR",
                              L"arn-CL", L"her"}) {
    EXPECT_FALSE(IsRightToLeftLanguage(name)) << testing::PrintToString(std::wstring(name));
  }
}

class TextLookupTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::WriteFileBytes(
        folder_ / L"config.bin",
        test::Utf16LeWithBom(L"[STRING]\r\n"
                             L"SFX_DLG_TITLE=Title\r\nSFX_DLG_STATUS=Status\r\n"
                             L"SFX_BTN_CANCEL=Cancel\r\nSFX_BTN_OK=OK\r\n"
                             L"[STRING.el]\r\n"
                             L"SFX_DLG_TITLE=\x0395\x03B3\x03BA\x03B1\x03C4\x03AC\x03C3\x03C4\x03B1\x03C3\x03B7\r\n"
                             L"SFX_BTN_CANCEL=\r\n"
                             L"[STRING.el-GR]\r\n"
                             L"SFX_DLG_STATUS=\x0391\x03BD\x03B1\x03BC\x03BF\x03BD\x03AE\r\n"
                             L"[STRING.ru]\r\n")));
    theApp.configPath_ = folder_ / L"config.bin";
  }
  void TearDown() override {
    theApp.configPath_.clear();
    theApp.uiLanguage_ = UiLanguage();
  }

  TempFolder folder_;
};

TEST_F(TextLookupTest, LanguageSectionsKeyByKeyThenString) {
  theApp.uiLanguage_.textSections = {L"STRING.el-GR", L"STRING.el"};
  EXPECT_EQ(SfxConfig::GetText(L"SFX_DLG_STATUS"), L"\x0391\x03BD\x03B1\x03BC\x03BF\x03BD\x03AE");
  EXPECT_EQ(SfxConfig::GetText(L"SFX_DLG_TITLE"),
            L"\x0395\x03B3\x03BA\x03B1\x03C4\x03AC\x03C3\x03C4\x03B1\x03C3\x03B7");
  // An empty translation is a missing one.
  EXPECT_EQ(SfxConfig::GetText(L"SFX_BTN_CANCEL"), L"Cancel");
  EXPECT_EQ(SfxConfig::GetText(L"SFX_BTN_OK"), L"OK");
  EXPECT_EQ(SfxConfig::GetText(L"SFX_BTN_YES"), L"");

  theApp.uiLanguage_.textSections.clear();
  EXPECT_EQ(SfxConfig::GetText(L"SFX_DLG_STATUS"), L"Status");
}

TEST_F(TextLookupTest, OnlySectionsWithLinesCount) {
  EXPECT_TRUE(SfxConfig::HasSection(L"STRING.el"));
  EXPECT_TRUE(SfxConfig::HasSection(L"string.EL-gr"));
  EXPECT_FALSE(SfxConfig::HasSection(L"STRING.ru"));  // present, but empty
  EXPECT_FALSE(SfxConfig::HasSection(L"STRING.de"));
}

// The unit tests run as a user of Wine's default language, en-US.
TEST_F(TextLookupTest, ChoiceKeepsTheSectionsTheConfigurationHas) {
  ASSERT_TRUE(test::WriteFileBytes(
      theApp.configPath_, test::Utf16LeWithBom(L"[STRING]\r\nSFX_DLG_TITLE=Title\r\n"
                                               L"[STRING.en]\r\nSFX_DLG_TITLE=Hi\r\n")));
  const UiLanguage language = ChooseUiLanguage();
  EXPECT_EQ(language.name, L"en-US");
  EXPECT_EQ(language.textSections, std::vector<std::wstring>{L"STRING.en"});
  EXPECT_FALSE(language.bRightToLeft);
}

}  // namespace
}  // namespace zelko
