#include "tools/ini_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "win/temp_path.h"

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

// The packer decides what the installer would refuse by reading values as the installer does:
// through the system's profile reader, which each case is put to as well.
TEST(IniValueTest, ReadsAsTheSystemsProfileReader) {
  const wchar_t* const cases[] = {
      L"[INSTALL]\r\nProductCode={A}\r\n",
      L"[ install ]\r\n  productcode  =  {A}  \r\n",
      L"[INSTALL]\r\nProductCode=\"{A}\"\r\n",
      L"[INSTALL]\r\nProductCode='{A}'\r\n",
      L"[INSTALL]\r\nProductCode=\"{A}\r\n",
      L"[INSTALL]\r\nProductCode={A}\r\nProductCode={B}\r\n",
      L"[INSTALL]\r\nRUN=x\r\n[INSTALL]\r\nProductCode={B}\r\n",
      L"[STRING]\r\nProductCode={A}\r\n",
      L"ProductCode={A}\r\n[INSTALL]\r\n",
      L"[INSTALL]\r\nProductCode\r\n",
      L"[INSTALL]\r\nProductCode=\r\n",
  };
  const std::wstring folder = TempPath();
  ASSERT_FALSE(folder.empty());
  const std::wstring path = folder + L"ini_value_test.ini";
  for (const wchar_t* text : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    const std::string bytes = EncodeIniResource(text);
    ASSERT_TRUE(test::WriteFileBytes(path, bytes));
    wchar_t value[255];
    const DWORD length =
        ::GetPrivateProfileStringW(L"INSTALL", L"ProductCode", L"", value, 255, path.c_str());

    EXPECT_EQ(IniValue(text, L"INSTALL", L"ProductCode"), std::wstring(value, length));
  }
  ::DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace zelko::pack
