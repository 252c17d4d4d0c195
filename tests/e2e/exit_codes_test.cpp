// Runs that install nothing, as a caller that judges a run by its exit code alone sees them:
// each ends with a code that names its cause, never with the 0 of a run that did its job.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/registry_values.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

constexpr char kProductCode[] = "{5B3E7A10-4C2D-4E8F-9A1B-2C3D4E5F6A7B}";
constexpr wchar_t kKivKey[] = L"SOFTWARE\\Zelko\\Zelko Kiv\\1.0\\Kiv";

// A folder path below `base` of exactly `length` characters, made of components of at most
// eight characters (so no shorter form of it exists either).
std::wstring PathOfLength(const std::wstring& base, size_t length) {
  std::wstring path = base;
  // Whole components while more than one could follow; what is left (2 to 10) is the last.
  while (length - path.size() > 10) path += L"\\aaaaaaaa";
  return path + L"\\" + std::wstring(length - path.size() - 1, L'a');
}

class ExitCodesTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(ZelkoDataFolder());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Zelko");
  }
  void TearDown() override {
    RemoveTree(ZelkoDataFolder());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Zelko");
  }
};

TEST_F(ExitCodesTest, RunsThatInstallNothingEndWithTheirCode) {
  const std::wstring payload = FixtureFolder() + L"setup_payload.7z";
  const std::string code = "[INSTALL]\nProductCode=" + std::string(kProductCode) + "\n";
  // The temporary folder a run gets (the test's own unless the case names one); its log is
  // read there. The folder's length with its final backslash decides: from 236 on,
  // "<temp><10 digits>\installer.bin" no longer fits below MAX_PATH.
  const std::wstring fits = PathOfLength(work_ / L"t", 234);
  const std::wstring tooLong = PathOfLength(work_ / L"u", 235);
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, fits.c_str(), nullptr), ERROR_SUCCESS);
  ASSERT_EQ(::SHCreateDirectoryExW(nullptr, tooLong.c_str(), nullptr), ERROR_SUCCESS);
  const std::wstring beyondMaxPath = PathOfLength(work_ / L"v", 300);
  const std::wstring setupTail(32500, L'x');
  struct Case {
    const char* name;
    std::string ini;
    std::wstring archive;
    std::wstring rdcArchive;
    bool pastThePackersChecks;
    std::wstring arguments;
    std::wstring temp;
    DWORD exitCode;
    std::string logged;  // "" when the run can write no log
  } const cases[] = {
      // No payload: the archive resource is missing, or file resources without FILE_0.
      {"no archive", code, L"", L"", true, L"/sfx_nu /sfx_ne", temp_, 150340,
       "** Setting Error Condition: 150340"},
      {"no archive for the updater", code, L"", L"", true, L"/Kiv", temp_, 150340,
       "Failed to extract resource"},
      {"files without FILE_0", code + "Compression=files\n", L"", L"", true, L"/sfx_nu /sfx_ne",
       temp_, 150340, "No FILE_0 in the configuration"},
      // A configuration the run cannot use.
      {"no product code", "[INSTALL]\nCompression=7z\n", payload, L"", true, L"/sfx_nu", temp_,
       1620, "Invalid configuration information - missing Product Code"},
      {"second archive without its size", code, payload, payload, true, L"/sfx_nu", temp_, 1620,
       "Cleanup..."},
      {"second archive of size 0", code + "RDCArchiveSize=0\n", payload, payload, true,
       L"/sfx_nu", temp_, 1620, "Cleanup..."},
      // The temporary folder: one whose files fit works, a longer one is refused before the
      // configuration could be lost in it, and without one there is no log to write.
      {"temp folder that fits", code, payload, L"", false, L"/sfx_nu /sfx_ne", fits, 0,
       "TempFolder: " + Narrow(fits) + "\\"},
      {"temp folder too long", code, payload, L"", false, L"/sfx_nu /sfx_ne", tooLong, 1632,
       "Temp folder too long for the run's files: " + Narrow(tooLong) + "\\"},
      {"no temp folder", code, payload, L"", false, L"/sfx_nu /sfx_ne", beyondMaxPath, 1632, ""},
      // A setup command line longer than Windows takes is not started, nor cut.
      {"setup command line too long", code + "SetupArgs1=" + std::string(254, 'a') + "\n",
       payload, L"", false, L"/sfx_nu " + setupTail, temp_, 150310, "CreateProcess failed"},
      // A size that would wrap the sum round counts in full; a negative one counts as none.
      {"largest size", code + "InstallerFolderSizeInMB=2147483647\n", payload, L"", false,
       L"/sfx_nu /sfx_ne", temp_, 150110, "Required size in MB:  2147483648"},
      {"negative size", code + "InstallerFolderSizeInMB=-1\n", payload, L"", true,
       L"/sfx_nu /sfx_ne", temp_, 0,
       "Negative size counted as not configured: InstallerFolderSizeInMB=-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(ZelkoDataFolder());
    ::DeleteFileW((c.temp + L"\\ZelkoSFX.log").c_str());
    InstallerPackage package{c.ini, c.archive, c.rdcArchive};
    package.pastThePackersChecks = c.pastThePackersChecks;
    BuildInstaller(work_.path(), package, installer_);

    const ProcessResult run = RunInstaller(installer_, c.arguments, c.temp);

    EXPECT_EQ(run.exitCode, c.exitCode);
    if (!c.logged.empty()) {
      EXPECT_TRUE(HasLogLine(c.temp, c.logged));
      EXPECT_TRUE(HasLogLine(c.temp, "Program finished with exit code: " +
                                         std::to_string(c.exitCode)));
    }
    if (c.exitCode == 150310) {
      // The system's reason for a command line that is too long.
      bool reason = false;
      for (const auto& line : LogLines(c.temp)) {
        reason = reason || WithoutTimestamp(line).rfind("   GetLastError(): 206 - ", 0) == 0;
      }
      EXPECT_TRUE(reason);
    }
    if (c.exitCode != 0) {
      EXPECT_FALSE(HasLogLine(c.temp, "Installer finished with exit code: 0"));
      EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kKivKey, L"WebMsiPath").has_value())
          << "a folder that holds nothing is no folder for the updater";
    }
  }
}

}  // namespace
}  // namespace zelko::test
