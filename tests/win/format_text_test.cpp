#include "win/format_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace zelko {
namespace {

// The lines the program writes, each with what the log and the messages must show.
TEST(FormatTextTest, WritesTheProgramsFormatsAsTheLogExpects) {
  wchar_t buffer[96];
  FormatText(buffer, 96, L"[%4d-%02d-%02d %02d:%02d:%02d] ", 2024, 3, 5, 7, 4, 9);
  EXPECT_EQ(std::wstring(buffer), L"[2024-03-05 07:04:09] ");
  FormatText(buffer, 96, L"%ls %d", L"Required size in MB: ", 1234);
  EXPECT_EQ(std::wstring(buffer), L"Required size in MB:  1234");
  FormatText(buffer, 96, L"%d%d%lc%d", 6, 1, static_cast<wint_t>(L'W'), 6);
  EXPECT_EQ(std::wstring(buffer), L"61W6");
  FormatText(buffer, 96, L"  %ld", -2147024891L);
  EXPECT_EQ(std::wstring(buffer), L"  -2147024891");
  FormatText(buffer, 96, L"GetLastError(): %d - ", static_cast<int>(0x80070005u));
  EXPECT_EQ(std::wstring(buffer), L"GetLastError(): -2147024891 - ");

  char escaped[8];
  FormatText(escaped, sizeof(escaped), "\\u%04X", 0x20ACu);
  EXPECT_STREQ(escaped, "\\u20AC");
  FormatText(escaped, sizeof(escaped), "\\u%04X", 0x1Fu);
  EXPECT_STREQ(escaped, "\\u001F");
}

TEST(FormatTextTest, CutsAtTheBufferAndAlwaysTerminates) {
  struct Case {
    size_t size;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {1, L""}, {4, L"abc"}, {6, L"abcde"}, {7, L"abcdef"}, {8, L"abcdef"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[8];
    std::fill(buffer, buffer + 8, L'#');
    FormatText(buffer, c.size, L"%ls", L"abcdef");
    EXPECT_EQ(std::wstring(buffer), c.expected) << "size " << c.size;
  }
  char narrow[4];
  FormatText(narrow, sizeof(narrow), "\\u%04X", 0xFFFFu);
  EXPECT_STREQ(narrow, "\\uF");
}

TEST(DecimalTextTest, MatchesToWstringForEveryIntegerTypeUsed) {
  struct Case {
    long long value;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {0, L"0"},
      {7, L"7"},
      {10, L"10"},
      {-1, L"-1"},
      {INT32_MAX, L"2147483647"},
      {INT32_MIN, L"-2147483648"},
      {UINT32_MAX, L"4294967295"},
      {LLONG_MIN, L"-9223372036854775808"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecimalText(c.value), c.expected) << c.value;
    if (c.value >= INT32_MIN && c.value <= UINT32_MAX) {
      const std::wstring standard = c.value <= INT32_MAX
                                        ? std::to_wstring(static_cast<int32_t>(c.value))
                                        : std::to_wstring(static_cast<uint32_t>(c.value));
      EXPECT_EQ(DecimalText(c.value), standard) << c.value;
    }
  }
}

// The setup program's path and the disk-space message both go through this.
TEST(ReplaceAllTest, ReplacesEveryExactMarkerButNothingItBringsIn) {
  struct Case {
    const wchar_t* text;
    const wchar_t* by;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"%INSTALLPATH%\\setup.exe", L"C:\\P", L"C:\\P\\setup.exe"},
      {L"%INSTALLPATH%%INSTALLPATH%", L"ab", L"abab"},
      {L"a %installpath% %INSTALLPATH b", L"X", L"a %installpath% %INSTALLPATH b"},
      {L"%INSTALLPATH%", L"", L""},
      // A folder whose name holds the marker is put in once, not looked into again.
      {L"%INSTALLPATH%\\x", L"D:\\%INSTALLPATH%", L"D:\\%INSTALLPATH%\\x"},
      {L"%INSTALL%INSTALLPATH%PATH%", L"-", L"%INSTALL-PATH%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, L"%INSTALLPATH%", c.by), c.expected)
        << testing::PrintToString(std::wstring(c.text));
  }
}

}  // namespace
}  // namespace zelko
