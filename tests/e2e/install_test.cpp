// Whole installations: the payload extracted into the installer folder, the setup program
// started with its composed command line, its exit code passed on, and what a run leaves
// behind in every kind of ending.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

constexpr char kProductCode[] = "{0D9C1A2B-3E4F-4A5B-8C6D-7E8F9A0B1C2D}";

std::wstring CommonAppData() {
  wchar_t path[MAX_PATH];
  ::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// What the test setup program recorded: its command line, or "" when it did not run.
std::wstring SetupCommandLine(const std::wstring& folder) {
  const std::string bytes = ReadFileBytes(folder + L"\\setup_ran.txt");
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

class InstallTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(CommonAppData() + L"\\Zelko");
  }
  void TearDown() override { RemoveTree(CommonAppData() + L"\\Zelko"); }

  void Build(const std::string& install, bool withArchive = true,
             std::vector<std::wstring> files = {}) {
    InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n" + install};
    if (withArchive) package.archive = FixtureFolder() + L"setup_payload.7z";
    package.files = std::move(files);
    BuildInstaller(work_.path(), package, installer_);
  }

  const std::wstring ownFolder_ = CommonAppData() + L"\\Zelko\\Setup\\" +
                                  std::wstring(kProductCode, kProductCode + 38);
};

TEST_F(InstallTest, ExtractsStartsTheSetupAndPassesItsExitCodeOn) {
  Build("");
  for (DWORD code : {0u, 3010u, 1603u}) {
    SCOPED_TRACE(code);
    const ProcessResult run = Run(L"/sfx_nu /exit=" + std::to_wstring(code));
    EXPECT_EQ(run.exitCode, code);
    EXPECT_EQ(ReadFileBytes(ownFolder_ + L"\\docs\\guide.txt"), "A nested file.\n");
    EXPECT_EQ(SetupCommandLine(ownFolder_),
              ownFolder_ + L"\\setup.exe /exit=" + std::to_wstring(code) + L"  ");
    EXPECT_TRUE(Logged("Installer finished with exit code: " + std::to_string(code)));
    ExpectNoLeftovers();
  }
}

TEST_F(InstallTest, SetupCancelledByItsUserRemovesTheInstallerFolder) {
  Build("");
  EXPECT_EQ(Run(L"/sfx_nu /exit=1602").exitCode, 1602u);
  EXPECT_FALSE(FileExists(ownFolder_));
  ExpectNoLeftovers();
}

TEST_F(InstallTest, DoNotExecuteExtractsAndLeavesTheFolder) {
  Build("");
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne").exitCode, 0u);
  EXPECT_TRUE(FileExists(ownFolder_ + L"\\setup.exe"));
  EXPECT_EQ(SetupCommandLine(ownFolder_), L"");
  ExpectNoLeftovers();
}

TEST_F(InstallTest, OutputFolderKeepsTheUsersFilesEvenAfterACancel) {
  Build("");
  const std::wstring target = work_ / L"my folder";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(target + L"\\mine.txt", "the user's own"));
  ASSERT_TRUE(::CreateDirectoryW((target + L"\\docs").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(target + L"\\docs\\notes.txt", "also the user's"));

  EXPECT_EQ(Run(L"/sfx_nu \"/sfx_o" + target + L"\" /exit=7").exitCode, 7u);
  EXPECT_EQ(ReadFileBytes(target + L"\\mine.txt"), "the user's own");
  EXPECT_TRUE(FileExists(target + L"\\readme.txt"));
  EXPECT_FALSE(FileExists(ownFolder_));

  // A cancel takes back what the run extracted, and only that.
  EXPECT_EQ(Run(L"/sfx_nu \"/sfx_o" + target + L"\" /exit=1602").exitCode, 1602u);
  EXPECT_EQ(ReadFileBytes(target + L"\\mine.txt"), "the user's own");
  EXPECT_EQ(ReadFileBytes(target + L"\\docs\\notes.txt"), "also the user's");
  EXPECT_FALSE(FileExists(target + L"\\readme.txt"));
  EXPECT_FALSE(FileExists(target + L"\\docs\\guide.txt"));
  ExpectNoLeftovers();

  // A folder the run created itself goes as a whole.
  const std::wstring fresh = work_ / L"new folder";
  EXPECT_EQ(Run(L"/sfx_nu \"/sfx_o" + fresh + L"\" /exit=1602").exitCode, 1602u);
  EXPECT_FALSE(FileExists(fresh));
}

TEST_F(InstallTest, OwnFolderIsEmptiedButNeverThroughALink) {
  const std::wstring outside = work_ / L"outside";
  ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(outside + L"\\precious.txt", "keep me"));
  ASSERT_EQ(::SHCreateDirectory(nullptr, ownFolder_.c_str()), ERROR_SUCCESS);
  ASSERT_TRUE(WriteFileBytes(ownFolder_ + L"\\stale.txt", "from an earlier run"));
  ASSERT_TRUE(MakeFolderLink(outside, ownFolder_ + L"\\link"));

  Build("");
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne").exitCode, 0u);
  EXPECT_FALSE(FileExists(ownFolder_ + L"\\stale.txt"));
  EXPECT_EQ(ReadFileBytes(outside + L"\\precious.txt"), "keep me");
}

TEST_F(InstallTest, RunPathFromTheConfiguration) {
  struct Case {
    const char* run;
    DWORD exitCode;
    bool started;
  } const cases[] = {
      {"RUN=%INSTALLPATH%\\docs\\..\\setup.exe\n", 5, true},
      {"Run=%INSTALLPATH%\\missing.exe\n", 0, false},
      // Written in lower case the placeholder is not replaced.
      {"RUN=%installpath%\\setup.exe\n", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.run);
    RemoveTree(CommonAppData() + L"\\Zelko");
    Build(c.run);
    EXPECT_EQ(Run(L"/sfx_nu /exit=5").exitCode, c.exitCode);
    EXPECT_EQ(!SetupCommandLine(ownFolder_).empty(), c.started);
    if (!c.started) {
      const std::string run = std::string(c.run).substr(std::string(c.run).find('=') + 1);
      std::string expected = run.substr(0, run.size() - 1);
      const std::string marker = "%INSTALLPATH%";
      if (expected.find(marker) == 0) expected.replace(0, marker.size(), Narrow(ownFolder_));
      EXPECT_TRUE(Logged("Failed to find installer run file at: " + expected));
    }
  }
  // The placeholder twice: both places get the folder.
  Build("RUN=%INSTALLPATH%\\setup.exe\nSetupArgs1=/from=%INSTALLPATH%\n");
  EXPECT_EQ(Run(L"/sfx_nu").exitCode, 0u);
  Build("RUN=%INSTALLPATH%\\..\\" + Narrow(std::wstring(kProductCode, kProductCode + 38)) +
        "\\setup.exe\n");
  EXPECT_EQ(Run(L"/sfx_nu /exit=9").exitCode, 9u);
}

TEST_F(InstallTest, AllUsersFolderBlockedFallsBackToThisUsersFolder) {
  // A file where the all-users folder's "Zelko" should be: that folder cannot be made.
  ASSERT_TRUE(WriteFileBytes(CommonAppData() + L"\\Zelko", "in the way"));
  wchar_t local[MAX_PATH];
  ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
  const std::wstring userFolder = std::wstring(local) + L"\\Zelko\\Setup\\" +
                                  std::wstring(kProductCode, kProductCode + 38);
  Build("");
  EXPECT_EQ(Run(L"/sfx_nu /exit=4").exitCode, 4u);
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(userFolder)));
  EXPECT_FALSE(SetupCommandLine(userFolder).empty());
  ::DeleteFileW((CommonAppData() + L"\\Zelko").c_str());
  RemoveTree(std::wstring(local) + L"\\Zelko");
  ExpectNoLeftovers();
}

TEST_F(InstallTest, SecondArchiveGoesIntoTheSameFolder) {
  InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) +
                     "\nRDCArchiveSize=1\n"};
  package.archive = FixtureFolder() + L"setup_payload.7z";
  package.rdcArchive = FixtureFolder() + L"extract\\lzma_small.7z";
  BuildInstaller(work_.path(), package, installer_);
  EXPECT_EQ(Run(L"/sfx_nu /exit=0").exitCode, 0u);
  EXPECT_TRUE(Logged("Found RDC resource and valid configuration information - setting RDC mode"));
  EXPECT_TRUE(FileExists(ownFolder_ + L"\\readme.txt"));
  EXPECT_TRUE(FileExists(ownFolder_ + L"\\small.bin")) << "the second archive's entry";
  ExpectNoLeftovers();
}

TEST_F(InstallTest, FileResourcesArePayloadWithoutAnArchive) {
  const std::wstring setup = FixtureFolder() + L"setup_payload\\setup.exe";
  const std::wstring readme = FixtureFolder() + L"setup_payload\\readme.txt";
  Build("Compression=files\nFILE_0=setup.exe\nFILE_1=readme.txt\n", false, {setup, readme});
  EXPECT_EQ(Run(L"/sfx_nu /exit=11").exitCode, 11u);
  EXPECT_EQ(ReadFileBytes(ownFolder_ + L"\\readme.txt"), ReadFileBytes(readme));
  ExpectNoLeftovers();
}

TEST_F(InstallTest, BrokenPayloadEndsWithTheArchiveCondition) {
  const std::wstring broken = work_ / L"broken.7z";
  ASSERT_TRUE(WriteFileBytes(broken, "this is no archive"));
  InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n"};
  package.archive = broken;
  package.pastThePackersChecks = true;  // the packer refuses it
  BuildInstaller(work_.path(), package, installer_);
  EXPECT_EQ(Run(L"/sfx_nu /re").exitCode, 150213u);
  EXPECT_TRUE(Logged("Extract Files NO_ARCHIVE"));
  EXPECT_EQ(SetupCommandLine(ownFolder_), L"");
  ExpectNoLeftovers();
}

}  // namespace
}  // namespace zelko::test
