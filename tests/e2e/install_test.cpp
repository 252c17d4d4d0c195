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
#include "tests/support/text_bytes.h"

namespace zelko::test {
namespace {

constexpr char kProductCode[] = "{0D9C1A2B-3E4F-4A5B-8C6D-7E8F9A0B1C2D}";

// What the test setup program recorded: its command line, or "" when it did not run.
std::wstring SetupCommandLine(const std::wstring& folder) {
  const std::string bytes = ReadFileBytes(folder + L"\\setup_ran.txt");
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

class InstallTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(ZelkoDataFolder());
  }
  void TearDown() override { RemoveTree(ZelkoDataFolder()); }

  void Build(const std::string& install, bool withArchive = true,
             std::vector<std::wstring> files = {}) {
    InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n" + install};
    if (withArchive) package.archive = FixtureFolder() + L"setup_payload.7z";
    package.files = std::move(files);
    BuildInstaller(work_.path(), package, installer_);
  }

  const std::wstring ownFolder_ = ZelkoDataFolder() + L"\\Setup\\" +
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

// A cancel takes back every path it extracted into the user's folder, also those longer than
// any MAX_PATH buffer.
TEST_F(InstallTest, CancelTakesBackEveryExtractedPathHoweverDeep) {
  InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n"};
  package.archive = FixtureFolder() + L"deep_payload.7z";
  BuildInstaller(work_.path(), package, installer_);
  std::wstring deep = L"\\deep";
  for (wchar_t letter : std::wstring(L"abcde")) deep += L"\\" + std::wstring(120, letter);

  const std::wstring check = work_ / L"check";
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne \"/sfx_o" + check + L"\"").exitCode, 0u);
  ASSERT_EQ(ReadFileBytes(check + deep + L"\\file.txt"), "far down\n") << "not extracted at all";

  const std::wstring target = work_ / L"mine";
  ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(target + L"\\mine.txt", "the user's own"));
  EXPECT_EQ(Run(L"/sfx_nu \"/sfx_o" + target + L"\" /exit=1602").exitCode, 1602u);
  // Besides the user's file only the record the setup program itself wrote stays.
  std::vector<std::wstring> left = FolderEntries(target);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::wstring>{L"mine.txt", L"setup_ran.txt"}));
  ExpectNoLeftovers();
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
      {"Run=%INSTALLPATH%\\missing.exe\n", 150300, false},
      // Written in lower case the placeholder is not replaced, and the path, relative, is
      // looked for inside the installer folder.
      {"RUN=%installpath%\\setup.exe\n", 150300, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.run);
    RemoveTree(ZelkoDataFolder());
    Build(c.run);
    EXPECT_EQ(Run(L"/sfx_nu /exit=5").exitCode, c.exitCode);
    EXPECT_EQ(!SetupCommandLine(ownFolder_).empty(), c.started);
    if (!c.started) {
      const std::string run = std::string(c.run).substr(std::string(c.run).find('=') + 1);
      std::string expected = run.substr(0, run.size() - 1);
      const std::string marker = "%INSTALLPATH%";
      if (expected.find(marker) == 0) {
        expected.replace(0, marker.size(), Narrow(ownFolder_));
      } else {
        expected = Narrow(ownFolder_) + "\\" + expected;
      }
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

// Nothing installed is never a success: a setup program that is not there, or that the system
// cannot start, ends the run with its condition and the system's reason in the log.
TEST_F(InstallTest, SetupProgramThatCannotRunEndsWithItsCondition) {
  const std::wstring readme = FixtureFolder() + L"setup_payload\\readme.txt";
  struct Case {
    std::string install;
    bool textAsSetup;  // the payload is only the readme, stored as setup.exe
    DWORD exitCode;
    std::string logText;
    DWORD error;
  } const cases[] = {
      {"RUN=%INSTALLPATH%\\missing.exe\n", false, 150300,
       "Failed to find installer run file at: " + Narrow(ownFolder_) + "\\missing.exe",
       ERROR_FILE_NOT_FOUND},
      {"Compression=files\nFILE_0=setup.exe\n", true, 150310, "CreateProcess failed",
       ERROR_BAD_EXE_FORMAT},
      // A folder passes the existence test, but is no program (Windows says "access denied",
      // Wine "file not found": the reason is not checked).
      {"RUN=%INSTALLPATH%\\docs\n", false, 150310, "CreateProcess failed", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.install);
    RemoveTree(ZelkoDataFolder());
    ::DeleteFileW((temp_ + L"\\ZelkoSFX.log").c_str());
    if (c.textAsSetup) {
      Build(c.install, false, {readme});
    } else {
      Build(c.install);
    }
    EXPECT_EQ(Run(L"/sfx_nu /exit=5").exitCode, c.exitCode);
    EXPECT_EQ(SetupCommandLine(ownFolder_), L"");
    const auto texts = LogTexts();
    const auto line = std::find(texts.begin(), texts.end(), c.logText);
    ASSERT_NE(line, texts.end()) << c.logText;
    ASSERT_GE(texts.end() - line, 3);
    // The system's reason follows the line, cut where the log's lines are cut.
    const std::string reason = SystemTextBytes(c.error);
    const std::string prefix = "   GetLastError(): ";
    if (c.error != 0) {
      EXPECT_EQ(line[1] + "\r\n", prefix + std::to_string(c.error) + " - " + reason);
    } else {
      EXPECT_EQ(line[1].rfind(prefix, 0), 0u) << line[1];
    }
    EXPECT_EQ(line[2], "** Setting Error Condition: " + std::to_string(c.exitCode));
    EXPECT_EQ(texts.back(), "Program finished with exit code: " + std::to_string(c.exitCode));
    ExpectNoLeftovers();
  }
}

// The C runtime ends a quoted program name at its closing quote, so a caller may write the
// first switch right after it.
TEST_F(InstallTest, SwitchRightAfterTheQuotedProgramNameCounts) {
  Build("");
  struct Case {
    const wchar_t* afterName;
    DWORD exitCode;
    const wchar_t* setupArguments;
  } const cases[] = {
      {L"/sfx_nu /exit=3", 3, L"/exit=3"},
      {L"/q /exit=4", 4, L"/q /exit=4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.afterName)));
    RemoveTree(ZelkoDataFolder());
    EXPECT_EQ(RunExactly(L"\"" + installer_ + L"\"" + c.afterName).exitCode, c.exitCode);
    EXPECT_EQ(SetupCommandLine(ownFolder_),
              ownFolder_ + L"\\setup.exe " + c.setupArguments + L"  ");
  }
  // Both runs were silent.
  const auto texts = LogTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "InitDialog..."), 0);
  ExpectNoLeftovers();
}

TEST_F(InstallTest, AllUsersFolderBlockedFallsBackToThisUsersFolder) {
  // A file where the all-users folder's "Zelko" should be: that folder cannot be made.
  ASSERT_TRUE(WriteFileBytes(ZelkoDataFolder(), "in the way"));
  wchar_t local[MAX_PATH];
  ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
  const std::wstring userFolder = std::wstring(local) + L"\\Zelko\\Setup\\" +
                                  std::wstring(kProductCode, kProductCode + 38);
  Build("");
  EXPECT_EQ(Run(L"/sfx_nu /exit=4").exitCode, 4u);
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(userFolder)));
  EXPECT_FALSE(SetupCommandLine(userFolder).empty());
  ::DeleteFileW((ZelkoDataFolder()).c_str());
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
  struct Case {
    std::wstring archive;
    DWORD exitCode;
    const char* logged;
  } const cases[] = {
      {broken, 150213, "Extract Files NO_ARCHIVE"},
      // A valid archive that stores no names: refused before anything is written.
      {FixtureFolder() + L"extract\\no_names.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      // Headers with every check sum right that break the format: a names property too short
      // for its first byte, a property given twice.
      {FixtureFolder() + L"extract\\names_size_zero.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      {FixtureFolder() + L"extract\\repeated_names.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      {FixtureFolder() + L"extract\\repeated_times.7z", 150212, "Extract Files ERROR_ARCHIVE"},
      {FixtureFolder() + L"extract\\repeated_attributes.7z", 150212,
       "Extract Files ERROR_ARCHIVE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.archive));
    InstallerPackage package{"[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n"};
    package.archive = c.archive;
    package.pastThePackersChecks = true;  // the packer refuses them all
    BuildInstaller(work_.path(), package, installer_);
    EXPECT_EQ(Run(L"/sfx_nu /re").exitCode, c.exitCode);
    EXPECT_TRUE(Logged(c.logged));
    EXPECT_EQ(FolderEntries(ownFolder_), std::vector<std::wstring>{});
    ExpectNoLeftovers();
  }
}

}  // namespace
}  // namespace zelko::test
