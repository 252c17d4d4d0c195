// Builds installers with the real packer and runs them the way callers do, each run with its
// own temporary folder, so the run log and leftovers can be checked.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process_runner.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {

// Text of a configuration file (written as UTF-8; the packer converts it).
struct InstallerPackage {
  std::string ini;
  std::wstring archive;               // optional payload archive
  std::wstring rdcArchive;            // optional second archive
  std::vector<std::wstring> files;    // optional FILE_n resources
  bool fillSizes = false;             // let the packer write the archives' sizes
  // Builds an installer the packer would refuse (no product code, an archive that is none):
  // what an older packer or a hand edit could make, for the installer's own refusals. The
  // packer packs a stand-in configuration with one file resource, and the system's
  // resource-update API then puts the real parts in (the stand-in's FILE_0 stays, unread,
  // where the package has no files).
  bool pastThePackersChecks = false;
};

// Packs the stub with `package` into `outputPath` with the native packer (Linux, outside
// Wine); fails the current test when the packer fails.
void BuildInstaller(const std::wstring& workFolder, const InstallerPackage& package,
                    const std::wstring& outputPath);

// Runs `installer` with `arguments` and `tempFolder` as its TEMP and TMP.
ProcessResult RunInstaller(const std::wstring& installer, const std::wstring& arguments,
                           const std::wstring& tempFolder);
// Runs the whole `commandLine` with `tempFolder` as its TEMP and TMP.
ProcessResult RunWithTempFolder(const std::wstring& commandLine, const std::wstring& tempFolder);

// The run log's lines (without line ends) in `tempFolder`'s "ZelkoSFX.log" (or another name).
std::vector<std::string> LogLines(const std::wstring& tempFolder,
                                  const wchar_t* name = L"ZelkoSFX.log");

// Whether the run log in `tempFolder` has a line (timestamp aside) that is exactly `text`;
// the failure shows the whole log.
testing::AssertionResult HasLogLine(const std::wstring& tempFolder, const std::string& text);

// A log line without its "[YYYY-MM-DD HH:MM:SS] " timestamp ("" when it has none).
std::string WithoutTimestamp(const std::string& line);

// The folder under which runs extract by default: "<all-users application data>\\Zelko".
std::wstring ZelkoDataFolder();

// The folder of fixtures made at build time (<build>\test-fixtures\), with a trailing "\".
std::wstring FixtureFolder();

// Narrow form of a Latin-1 wide text, as the log stores it.
std::string Narrow(const std::wstring& text);

// The frame of a test that packs installers and runs them: a work folder holding the
// installer and the temporary folder each run gets as TEMP and TMP.
class InstallerRunTest : public testing::Test {
 protected:
  void SetUp() override;

  // Runs the installer at `installer_`.
  ProcessResult Run(const std::wstring& arguments) const;
  // Runs `commandLine` exactly as written, the installer's path included, as a caller that
  // quotes it its own way would.
  ProcessResult RunExactly(const std::wstring& commandLine) const;
  testing::AssertionResult Logged(const std::string& text) const;
  // The run log's entries without their timestamps.
  std::vector<std::string> LogTexts() const;
  // Only the run log stays in the temporary folder.
  void ExpectNoLeftovers() const;

  TempFolder work_;
  const std::wstring temp_ = work_ / L"temp";
  const std::wstring installer_ = work_ / L"installer.exe";
};

}  // namespace zelko::test
