#include "tools/ini_text.h"

#include <gtest/gtest.h>

namespace zelko::pack {
namespace {

TEST(SetIniValueTest, ReplacesInPlaceOrAddsToTheSection) {
  struct Case {
    const wchar_t* before;
    const wchar_t* after;
  } const cases[] = {
      // Replaced where it stands, spelled as the file spells it, other sections untouched.
      {L"[INSTALL]\r\nArchiveSize=1\r\nRUN=x\r\n[STRING]\r\nArchiveSize=9\r\n",
       L"[INSTALL]\r\nArchiveSize=42\r\nRUN=x\r\n[STRING]\r\nArchiveSize=9\r\n"},
      {L"[install]\r\n  archivesize =  1 \r\n", L"[install]\r\narchivesize=42\r\n"},
      // Added after the section's last entry, before the blank lines that end it.
      {L"[INSTALL]\r\nRUN=x\r\n\r\n[STRING]\r\nA=b\r\n",
       L"[INSTALL]\r\nRUN=x\r\nArchiveSize=42\r\n\r\n[STRING]\r\nA=b\r\n"},
      {L"[INSTALL]\r\n", L"[INSTALL]\r\nArchiveSize=42\r\n"},
      // A missing section is added at the end; a text without a final line end gets one.
      {L"[STRING]\r\nA=b", L"[STRING]\r\nA=b\r\n[INSTALL]\r\nArchiveSize=42\r\n"},
      {L"", L"[INSTALL]\r\nArchiveSize=42\r\n"},
      // A key that only starts like ours is another key.
      {L"[INSTALL]\r\nArchiveSizeOld=1\r\n", L"[INSTALL]\r\nArchiveSizeOld=1\r\nArchiveSize=42\r\n"},
  };
  for (const auto& c : cases) {
    std::wstring text = c.before;
    SetIniValue(&text, L"INSTALL", L"ArchiveSize", L"42");
    EXPECT_EQ(text, c.after) << testing::PrintToString(std::wstring(c.before));
  }
}

}  // namespace
}  // namespace zelko::pack
