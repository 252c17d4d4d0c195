#include "app/sfx_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/sfx_app.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"

namespace zelko {
namespace {

using test::TempFolder;

class SfxConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring longValue(300, L'v');
    ASSERT_TRUE(test::WriteFileBytes(
        folder_ / L"config.bin",
        test::Utf16LeWithBom(L"[INSTALL]\r\n"
                 L"ProductCode={12345678-1234-1234-1234-123456789012}\r\n"
                 L"Padded =   spaced value   \r\n"
                 L"Double=\"quoted value\"\r\n"
                 L"Single=' single '\r\n"
                 L"Inner=a \"b\" c\r\n"
                 L"Equals=a=b\r\n"
                 L"Long=" + longValue + L"\r\n"
                 L"Empty=\r\n"
                 L"[String]\r\n"
                 L"SFX_DLG_TITLE=\x0417\x0435\x043B\x044C\x043A\x043E\r\n")));
    theApp.configPath_ = folder_ / L"config.bin";
  }
  void TearDown() override { theApp.configPath_.clear(); }

  TempFolder folder_;
};

TEST_F(SfxConfigTest, ReadsValuesWithTheProfileRules) {
  struct Case {
    const wchar_t* section;
    const wchar_t* key;
    std::wstring expected;
  } const cases[] = {
      {L"INSTALL", L"ProductCode", L"{12345678-1234-1234-1234-123456789012}"},
      {L"install", L"PRODUCTCODE", L"{12345678-1234-1234-1234-123456789012}"},
      {L"INSTALL", L"Padded", L"spaced value"},
      {L"INSTALL", L"Double", L"quoted value"},
      {L"INSTALL", L"Single", L" single "},
      {L"INSTALL", L"Inner", L"a \"b\" c"},
      {L"INSTALL", L"Equals", L"a=b"},
      {L"INSTALL", L"Long", std::wstring(254, L'v')},
      {L"INSTALL", L"Empty", L""},
      {L"INSTALL", L"Missing", L""},
      {L"Nowhere", L"ProductCode", L""},
      {L"STRING", L"SFX_DLG_TITLE", L"\x0417\x0435\x043B\x044C\x043A\x043E"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "key " << std::wstring(c.key).c_str());
    EXPECT_EQ(SfxConfig::GetValue(c.section, c.key), c.expected);
  }
}

TEST_F(SfxConfigTest, ReadsTheFileAnewOnEveryLookup) {
  EXPECT_FALSE(SfxConfig::GetValue(L"INSTALL", L"ProductCode").empty());
  ASSERT_TRUE(::DeleteFileW(theApp.configPath_.c_str()));

  const test::LogCapture log;
  EXPECT_EQ(SfxConfig::GetValue(L"INSTALL", L"ProductCode"), L"");
  EXPECT_EQ(SfxConfig::GetValue(L"STRING", L"SFX_DLG_TITLE"), L"");
  const std::string expectedLine =
      "] Configuration file missing: " +
      std::string(theApp.configPath_.begin(), theApp.configPath_.end()) + "\r\n";
  const std::string tail = log.Text();
  const size_t first = tail.find(expectedLine);
  ASSERT_NE(first, std::string::npos) << tail;
  EXPECT_NE(tail.find(expectedLine, first + 1), std::string::npos) << "one line per lookup";
}

TEST(SfxConfigNoFileTest, EmptyPathGivesEmptyValues) {
  theApp.configPath_.clear();
  EXPECT_EQ(SfxConfig::GetValue(L"INSTALL", L"ProductCode"), L"");
}

TEST(ConfigNumberTest, ReadsLikeTheRuntime) {
  struct Case {
    const wchar_t* text;
    long expected;
  } const cases[] = {
      {L"", 0}, {L"42", 42}, {L" 12abc", 12}, {L"-5", -5}, {L"+7", 7}, {L"word", 0}, {L"0x10", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ConfigNumber(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace zelko
