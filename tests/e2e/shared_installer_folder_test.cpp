// The all-users installer folder of a product is shared by every run of the product and open
// to every user of the machine: a second run while the first is at work ends at once,
// touching nothing of it, and an elevated run uses no folder that another user could change.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "checks/folder_protection.h"
#include "tests/helpers/helper_clients.h"
#include "tests/support/held_run.h"
#include "tests/support/installer_run.h"
#include "tests/support/registry_values.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

constexpr char kProductCode[] = "{2F4A6C8E-0B1D-4E3F-9A5C-7E9B1D3F5A7C}";
constexpr char kLowerCaseProductCode[] = "{2f4a6c8e-0b1d-4e3f-9a5c-7e9b1d3f5a7c}";
constexpr wchar_t kSetupKey[] = L"SOFTWARE\\Zelko\\Setup\\Pandle";

class SharedInstallerFolderTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(ZelkoDataFolder());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
  }
  void TearDown() override {
    RemoveTree(ZelkoDataFolder());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
  }

  void Build(const std::wstring& path, const char* productCode, const std::string& more = "") {
    InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(productCode) + "\n" + more};
    package.archive = FixtureFolder() + L"setup_payload.7z";
    BuildInstaller(work_.path(), package, path);
  }

  const std::wstring ownFolder_ = ZelkoDataFolder() + L"\\Setup\\" +
                                  std::wstring(kProductCode, kProductCode + 38);
};

TEST_F(SharedInstallerFolderTest, SecondRunOfTheProductEndsWith1618AndLeavesTheFirstAlone) {
  Build(installer_, kProductCode);
  // The product's code as another build of it may spell it.
  const std::wstring other = work_ / L"other build.exe";
  Build(other, kLowerCaseProductCode);

  HeldRun first([&](const std::wstring& hold) { return Run(L"/sfx_nu " + hold + L" /exit=5"); });
  ASSERT_TRUE(first.WaitUntilRunning()) << "the first run's setup program never started";
  const std::string record = ReadFileBytes(ownFolder_ + L"\\setup_ran.txt");
  const std::vector<std::wstring> installed = SortedFolderEntries(ownFolder_);
  // The first run's log and support folder.
  std::vector<std::wstring> temp = SortedFolderEntries(temp_);
  ASSERT_EQ(temp.size(), 2u);
  const std::wstring support = temp_ + L"\\" + (temp[0] == L"ZelkoSFX.log" ? temp[1] : temp[0]);

  const ProcessResult second = RunInstaller(other, L"/sfx_nu /re", temp_);
  EXPECT_EQ(second.exitCode, 1618u);
  // The first run holds the log file, so the second writes a log of its own.
  std::vector<std::string> texts;
  for (const auto& line : LogLines(temp_, L"ZelkoSFX_NotLocked.log")) {
    texts.push_back(WithoutTimestamp(line));
  }
  for (const char* line : {"Installation already running: Global\\ZelkoSFX.Product."
                           "{2F4A6C8E-0B1D-4E3F-9A5C-7E9B1D3F5A7C}",
                           "** Setting Error Condition: 1618", "Cleanup...",
                           "Program finished with exit code: 1618"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), line), texts.end()) << line;
  }
  EXPECT_EQ(std::find(texts.begin(), texts.end(), "SetupInstaller..."), texts.end());
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSetupKey, L"ErrorText"),
            L"Another installation of this product is already running.\n\nError code:   1618");
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"ExitCode"), 1618u);

  // Nothing of the first run was touched: its installer folder, its support folder.
  EXPECT_EQ(SortedFolderEntries(ownFolder_), installed);
  EXPECT_EQ(ReadFileBytes(ownFolder_ + L"\\setup_ran.txt"), record);
  EXPECT_TRUE(FileExists(support + L"\\config.bin"));
  EXPECT_TRUE(FileExists(support + L"\\installer.bin"));
  temp.push_back(L"ZelkoSFX_NotLocked.log");
  std::sort(temp.begin(), temp.end());
  EXPECT_EQ(SortedFolderEntries(temp_), temp);

  EXPECT_EQ(first.Finish().exitCode, 5u);
  // With the first run ended, the product's next run goes ahead.
  EXPECT_EQ(RunInstaller(other, L"/sfx_nu /exit=6", temp_).exitCode, 6u);
  EXPECT_EQ(SortedFolderEntries(temp_),
            (std::vector<std::wstring>{L"ZelkoSFX.log", L"ZelkoSFX_NotLocked.log"}));
}

TEST_F(SharedInstallerFolderTest, SecondRunWithItsWindowsSaysWhyItStops) {
  Build(installer_, kProductCode);
  const std::wstring other = work_ / L"other build.exe";
  Build(other, kProductCode,
        "[STRING]\nSFX_TITLE_CAPTIONBAR=Demo Setup\nSFX_BTN_OK=Close\n"
        "SFX_DLG_ERR_ALREADYRUNNING=Demo is being set up already.\n");
  HeldRun first([&](const std::wstring& hold) { return Run(L"/sfx_nu " + hold + L" /exit=5"); });
  ASSERT_TRUE(first.WaitUntilRunning()) << "the first run's setup program never started";

  auto second = std::async(std::launch::async, [&] { return RunInstaller(other, L"", temp_); });
  const WindowDriver driver;
  HWND box = driver.Find(L"Demo Setup", L"#32770");
  ASSERT_NE(box, nullptr) << "no message box";
  // The driver gives one line per text: the message's error-code line comes on its own.
  auto texts = driver.Texts(box);
  EXPECT_EQ(texts["65535"], "Demo is being set up already.");
  EXPECT_EQ(texts.count("Error code:   1618"), 1u);
  EXPECT_TRUE(WaitUntil([&] { return driver.Texts(box)[std::to_string(IDOK)] == "Close"; }));
  ASSERT_TRUE(driver.Press(box, IDOK));
  EXPECT_EQ(second.get().exitCode, 1618u);

  EXPECT_EQ(first.Finish().exitCode, 5u);
}

TEST_F(SharedInstallerFolderTest, ElevatedRunMakesTheFoldersItsOwnOrUsesThisUsersFolder) {
  // Under Wine every process counts as elevated: its token holds the Administrators group.
  if (!RunsElevated()) GTEST_SKIP() << "the test process is not elevated";
  Build(installer_, kProductCode);

  // Folders made beforehand, as another user may have made them, with a setup program of
  // theirs where the product's will be: the run secures each folder, then empties its own.
  ASSERT_EQ(::SHCreateDirectory(nullptr, ownFolder_.c_str()), ERROR_SUCCESS);
  ASSERT_TRUE(WriteFileBytes(ownFolder_ + L"\\setup.exe", "planted"));
  EXPECT_EQ(Run(L"/sfx_nu /exit=3").exitCode, 3u);
  for (const std::wstring& folder : {ZelkoDataFolder(),
                                     ZelkoDataFolder() + L"\\Setup", ownFolder_}) {
    // Made with what the all-users folder passes on, Users may add files to each (and Wine
    // shows every folder as the user's own): each one found is re-secured.
    EXPECT_TRUE(Logged("Folder secured against other users: " + Narrow(folder)));
  }
  EXPECT_NE(ReadFileBytes(ownFolder_ + L"\\setup.exe"), "planted");
  EXPECT_FALSE(ReadFileBytes(ownFolder_ + L"\\setup_ran.txt").empty());

  // "Zelko" made a link to a folder of another user's: what it leads to is never used.
  RemoveTree(ZelkoDataFolder());
  RemoveTree(temp_);
  ASSERT_TRUE(::CreateDirectoryW(temp_.c_str(), nullptr));
  const std::wstring planted = work_ / L"planted";
  const std::wstring plantedProduct = planted + L"\\Setup\\" +
                                      std::wstring(kProductCode, kProductCode + 38);
  ASSERT_EQ(::SHCreateDirectory(nullptr, plantedProduct.c_str()), ERROR_SUCCESS);
  ASSERT_TRUE(WriteFileBytes(plantedProduct + L"\\setup.exe", "planted"));
  ASSERT_TRUE(MakeFolderLink(planted, ZelkoDataFolder()));
  wchar_t local[MAX_PATH];
  ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
  const std::wstring userFolder = std::wstring(local) + L"\\Zelko\\Setup\\" +
                                  std::wstring(kProductCode, kProductCode + 38);

  EXPECT_EQ(Run(L"/sfx_nu /exit=4").exitCode, 4u);
  EXPECT_TRUE(Logged("Cannot protect folder from other users: " +
                     Narrow(ZelkoDataFolder())));
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(userFolder)));
  EXPECT_FALSE(ReadFileBytes(userFolder + L"\\setup_ran.txt").empty());
  EXPECT_EQ(ReadFileBytes(plantedProduct + L"\\setup.exe"), "planted");
  EXPECT_EQ(FolderEntries(plantedProduct), std::vector<std::wstring>{L"setup.exe"});
  RemoveTree(std::wstring(local) + L"\\Zelko");
  ExpectNoLeftovers();
}

}  // namespace
}  // namespace zelko::test
