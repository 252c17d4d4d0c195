#include "checks/setup_command_line.h"

#include <gtest/gtest.h>

namespace zelko {
namespace {

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
