#include "checks/setup_command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace zelko {
namespace {

TEST(SetupProgramPathTest, TakesARelativeProgramInsideTheInstallerFolder) {
  struct Case {
    const wchar_t* run;
    const wchar_t* folder;
    const wchar_t* path;
  } const cases[] = {
      {L"%INSTALLPATH%\\setup.exe", L"C:\\x\\P", L"C:\\x\\P\\setup.exe"},
      {L"%INSTALLPATH%\\a\\%INSTALLPATH%", L"C:\\P", L"C:\\P\\a\\C:\\P"},
      // Relative: inside the folder, never where the system would search.
      {L"setup.exe", L"C:\\x\\P", L"C:\\x\\P\\setup.exe"},
      {L"bin\\setup.exe", L"C:\\x\\P\\", L"C:\\x\\P\\bin\\setup.exe"},
      {L"..\\tools\\setup.exe", L"C:\\x\\P", L"C:\\x\\P\\..\\tools\\setup.exe"},
      // Rooted on the current drive only: still taken inside the folder.
      {L"\\setup.exe", L"C:\\x\\P", L"C:\\x\\P\\setup.exe"},
      // A drive without its root names that drive's current folder: no such file inside.
      {L"C:setup.exe", L"C:\\x\\P", L"C:\\x\\P\\C:setup.exe"},
      // The placeholder in lower case is not replaced, so the text stays relative.
      {L"%installpath%\\setup.exe", L"C:\\P", L"C:\\P\\%installpath%\\setup.exe"},
      // Absolute paths are the maker's choice.
      {L"D:\\Tools\\setup.exe", L"C:\\P", L"D:\\Tools\\setup.exe"},
      {L"d:/tools/setup.exe", L"C:\\P", L"d:/tools/setup.exe"},
      {L"\\\\server\\share\\setup.exe", L"C:\\P", L"\\\\server\\share\\setup.exe"},
      {L"%INSTALLPATH%\\setup.exe", L"\\\\server\\share\\P",
       L"\\\\server\\share\\P\\setup.exe"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SetupProgramPath(c.run, c.folder), c.path)
        << testing::PrintToString(std::wstring(c.run));
  }
}

TEST(SetupProgramPathTest, ARelativeFolderIsTakenFromTheCurrentFolder) {
  wchar_t current[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_GT(length, 0u);
  std::wstring base(current, length);
  if (base.back() != L'\\') base += L'\\';
  EXPECT_EQ(SetupProgramPath(L"%INSTALLPATH%\\setup.exe", L"out"), base + L"out\\setup.exe");
  EXPECT_EQ(SetupProgramPath(L"setup.exe", L"out\\P"), base + L"out\\P\\setup.exe");
}

TEST(ComposeSetupCommandLineTest, PlacesConfiguredArgumentsAroundMsi) {
  struct Case {
    const wchar_t* passThrough;
    const wchar_t* setupArgs1;
    const wchar_t* setupArgs2;
    const wchar_t* arguments;  // what follows "C:\x\setup.exe "
  } const cases[] = {
      {L"", L"", L"/msi DISABLE_CACHE=1", L"/msi DISABLE_CACHE=1"},
      {L"-a", L"", L"/msi DISABLE_CACHE=1", L"-a  /msi DISABLE_CACHE=1"},
      {L"-a", L"-b", L"/msi DISABLE_CACHE=1", L"-a -b /msi DISABLE_CACHE=1"},
      {L"", L"-b", L"/msi DISABLE_CACHE=1", L"-b /msi DISABLE_CACHE=1"},
      {L"-a /msi X=1", L"", L"/msi DISABLE_CACHE=1", L"-a /msi X=1 DISABLE_CACHE=1"},
      {L"-a /msi X=1", L"-b", L"/msi DISABLE_CACHE=1", L"-a-b /msi X=1 DISABLE_CACHE=1"},
      {L"/msi X=1", L"-b", L"/msi DISABLE_CACHE=1", L"-b/msi X=1 DISABLE_CACHE=1"},
      // Nothing at all still leaves the blank after the path.
      {L"", L"", L"", L""},
      // "/MSI" in capitals is no "/msi": both configured values follow whole.
      {L"/MSI X=1", L"-b", L"/msi Y=2", L"/MSI X=1 -b /msi Y=2"},
      // "/msi" in the passed-on text but not in the second value: that value is left out.
      {L"-a /msi X=1", L"", L"Y=2", L"-a /msi X=1"},
      // "/msi" counts inside a longer word too.
      {L"-a/msix", L"-b", L"/msiZ", L"--ba/msixZ"},
      {L"", L"", L"Z=3", L"Z=3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeSetupCommandLine(L"C:\\x\\setup.exe", c.passThrough, c.setupArgs1,
                                      c.setupArgs2),
              std::wstring(L"C:\\x\\setup.exe ") + c.arguments)
        << testing::PrintToString(std::wstring(c.passThrough)) << " + "
        << testing::PrintToString(std::wstring(c.setupArgs1));
  }
}

TEST(ComposeSetupCommandLineTest, QuotesAPathWithABlank) {
  EXPECT_EQ(ComposeSetupCommandLine(L"C:\\Program Files\\P\\setup.exe", L"/q", L"", L""),
            L"\"C:\\Program Files\\P\\setup.exe\" /q  ");
  EXPECT_EQ(ComposeSetupCommandLine(L"C:\\P\\setup.exe", L"/q", L"", L""), L"C:\\P\\setup.exe /q  ");
}

}  // namespace
}  // namespace zelko
