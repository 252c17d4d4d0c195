// The special ways a run can go: the xRDC mode that only writes the configuration and the
// archive into a folder, validation of the archive size, the second-archive (RDC) check, and
// the preparation failures that end a run early.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_bytes.h"

namespace zelko::test {
namespace {

constexpr char kIni[] =
    "[INSTALL]\nProductCode={6F1D3C52-2B0B-4C1E-9F3A-1B2C3D4E5F60}\n";

class ModesTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    // A real archive, so that the runs that go on to extraction end well.
    kArchiveBytes = ReadFileBytes(FixtureFolder() + L"setup_payload.7z");
    ASSERT_FALSE(kArchiveBytes.empty());
    ASSERT_TRUE(WriteFileBytes(archive_, kArchiveBytes));
  }

  std::wstring Build(const std::string& ini, bool withArchive = true,
                     const std::wstring& rdcArchive = L"", bool pastThePackersChecks = false) {
    InstallerPackage package{ini};
    if (withArchive) package.archive = archive_;
    package.rdcArchive = rdcArchive;
    package.pastThePackersChecks = pastThePackersChecks;
    BuildInstaller(work_.path(), package, installer_);
    return installer_;
  }

  std::string kArchiveBytes;
  const std::wstring archive_ = work_ / L"payload.7z";
};

TEST_F(ModesTest, XrdcWritesConfigurationAndArchiveIntoTheQuotedFolder) {
  Build(std::string(kIni) + "DisplayName=Demo\n");
  const std::wstring stage = work_ / L"stage area";
  ASSERT_TRUE(::CreateDirectoryW(stage.c_str(), nullptr));

  const ProcessResult run = Run(L"/xRDC \"" + stage + L"\"");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(stage + L"\\installer.bin"), kArchiveBytes);
  const std::string config = ReadFileBytes(stage + L"\\config.bin");
  EXPECT_EQ(config.substr(0, 2), "\xFF\xFE");
  EXPECT_NE(config.find(Utf16LeWithBom(L"DisplayName=Demo").substr(2)), std::string::npos);
  EXPECT_TRUE(Logged("Command line in xRDC mode: /xRDC \"" + Narrow(stage) + "\""));
  ExpectNoLeftovers();
}

TEST_F(ModesTest, XrdcFailuresEndTheRunWithTheirCodes) {
  Build(kIni);
  struct Case {
    std::wstring arguments;
    DWORD exitCode;
    const char* line;
  } const cases[] = {
      {L"/xRDC", 1639, "Not valid command line in xRDC mode"},
      {L"/xRDC \"unclosed", 1639, "Not valid command line in xRDC mode"},
      {L"/xRDC \"" + (work_ / L"missing") + L"\"", 6,
       "Failed to extract ZELKO_SFX_INI resource in xRDC mode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.arguments));
    EXPECT_EQ(Run(c.arguments).exitCode, c.exitCode);
    EXPECT_TRUE(Logged(c.line));
  }
  // Without the archive resource the configuration is written, then the archive fails.
  Build(kIni, /*withArchive=*/false, L"", /*pastThePackersChecks=*/true);
  EXPECT_EQ(Run(L"/xRDC \"" + work_.path() + L"\"").exitCode, 6u);
  EXPECT_TRUE(Logged("Failed to extract ARCHIVE_7Z resource in xRDC mode"));
  // The word is matched with its case: /xrdc is an ordinary run.
  Build(kIni);
  RemoveTree(temp_);
  ::CreateDirectoryW(temp_.c_str(), nullptr);
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne /xrdc \"x\"").exitCode, 0u);
  EXPECT_FALSE(Logged("Command line in xRDC mode: /sfx_nu /sfx_ne /xrdc \"x\""));
}

TEST_F(ModesTest, ValidationComparesTheDeclaredArchiveSize) {
  const std::string size = std::to_string(kArchiveBytes.size());
  struct Case {
    std::string install;
    DWORD exitCode;
    const char* line;
  } const cases[] = {
      {"ArchiveSize=" + size + "\n", 0, "in validation"},
      {"ArchiveSize=" + std::to_string(kArchiveBytes.size() + 1) + "\n", 13, "in validation"},
      {"", 0, "in validation"},
      {"ArchiveSize=1\nCompression=files\n", 0,
       "Skipping validation - SFX not ready to validate files."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.install);
    // The packer refuses an archive that file resources leave unused.
    const bool files = c.install.find("Compression=files") != std::string::npos;
    Build(std::string(kIni) + c.install, true, L"", /*pastThePackersChecks=*/files);
    EXPECT_EQ(Run(L"/sfx_nu /sfx_va").exitCode, c.exitCode);
    EXPECT_TRUE(Logged(c.line));
    ExpectNoLeftovers();
  }
}

TEST_F(ModesTest, PackerFillsTheSizesThatValidationChecks) {
  const std::wstring rdc = work_ / L"rdc.7z";
  ASSERT_TRUE(WriteFileBytes(rdc, kArchiveBytes));
  InstallerPackage package{std::string(kIni) + "ArchiveSize=1\n"};
  package.archive = archive_;
  package.rdcArchive = rdc;
  package.fillSizes = true;
  BuildInstaller(work_.path(), package, installer_);
  EXPECT_EQ(Run(L"/sfx_nu /sfx_va").exitCode, 0u);
  EXPECT_TRUE(Logged("Found RDC resource and valid configuration information - setting RDC mode"));
}

TEST_F(ModesTest, SecondArchiveNeedsItsDeclaredSize) {
  const std::wstring rdc = work_ / L"rdc.7z";
  ASSERT_TRUE(WriteFileBytes(rdc, kArchiveBytes));
  for (const char* declared : {"", "RDCArchiveSize=0\n", "RDCArchiveSize=word\n"}) {
    SCOPED_TRACE(declared);
    Build(std::string(kIni) + declared, true, rdc, /*pastThePackersChecks=*/true);
    EXPECT_EQ(Run(L"/sfx_nu /sfx_ne").exitCode, 1620u);
    EXPECT_FALSE(Logged("Found RDC resource and valid configuration information - setting RDC mode"));
    EXPECT_TRUE(Logged("Cleanup..."));
    ExpectNoLeftovers();
  }
  Build(std::string(kIni) + "RDCArchiveSize=14\n", true, rdc);
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne").exitCode, 0u);
  EXPECT_TRUE(Logged("Found RDC resource and valid configuration information - setting RDC mode"));
  ExpectNoLeftovers();
}

TEST_F(ModesTest, SupportFolderIsTheTempFolderAndANumber) {
  Build(kIni);
  EXPECT_EQ(Run(L"/sfx_nu /sfx_ne").exitCode, 0u);
  const std::string prefix = "Support folder: " + Narrow(temp_) + "\\";
  bool found = false;
  for (const auto& line : LogLines(temp_)) {
    const std::string text = WithoutTimestamp(line);
    if (text.rfind(prefix, 0) != 0) continue;
    const std::string number = text.substr(prefix.size());
    found = !number.empty() &&
            std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  }
  EXPECT_TRUE(found);
  ExpectNoLeftovers();
}

TEST_F(ModesTest, UnwritableTemporaryFolderEndsWithTheSystemError) {
  Build(kIni);
  // A temporary folder that does not exist: no support folder can be made in it.
  const ProcessResult run =
      RunInstaller(installer_, L"/sfx_nu", work_ / L"no such folder");
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace zelko::test
