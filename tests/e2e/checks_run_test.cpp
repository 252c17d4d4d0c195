// The machine checks of whole runs under the real system: the Windows version Wine reports
// (set per program), memory, service pack, free space, Windows Installer's product database,
// and the registry values left for the callers that ask for them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>

#include "tests/support/installer_run.h"
#include "tests/support/registry_values.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

constexpr wchar_t kSetupKey[] = L"SOFTWARE\\Zelko\\Setup\\Pandle";
constexpr wchar_t kKivKey[] = L"SOFTWARE\\Zelko\\Zelko Kiv\\1.0\\Kiv";
constexpr wchar_t kKivTarget[] = L"C:\\kiv target";
// The product of tests/fixtures/test_product.wxs.
constexpr char kTestProductCode[] = "{3C1A6E0B-5D2F-4A7C-9B1E-7F2D4C6A8E01}";
constexpr char kUnknownProductCode[] = "{00000000-1111-2222-3333-444444444444}";

// Makes Wine report `version` ("win10", "winxp64") to programs named `exeName` only; null
// leaves them the prefix's own version.
void SetWindowsVersionFor(const std::wstring& exeName, const wchar_t* version) {
  const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName;
  if (version == nullptr) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    return;
  }
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                              static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

class ChecksRunTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Zelko");
  }
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Zelko");
    RemoveTree(ZelkoDataFolder());
    RemoveTree(kKivTarget);
  }

  // Packs an installer named `exeName` (so a Windows version can be set for it alone), by
  // default with the test payload, so that a run that passes the checks installs it.
  std::wstring Build(const std::wstring& exeName, const std::string& ini,
                     const std::wstring& archive = FixtureFolder() + L"setup_payload.7z",
                     bool pastThePackersChecks = false) {
    const std::wstring path = work_ / exeName;
    InstallerPackage package{ini};
    package.archive = archive;
    package.pastThePackersChecks = pastThePackersChecks;
    BuildInstaller(work_.path(), package, path);
    return path;
  }

};

std::string Ini(const std::string& productCode, const std::string& more) {
  return "[INSTALL]\nProductCode=" + productCode + "\n" + more;
}

TEST_F(ChecksRunTest, MinimumsPassAndFailAsConfigured) {
  // A new 64-bit prefix reports a Windows 7 workstation, 6.1 with service pack 1: "61W6",
  // sp 10. (Wine 8's per-program "win7" setting reports a server instead, so the cases that
  // want Windows 7 leave the version alone.)
  struct Case {
    const wchar_t* name;
    const wchar_t* version;
    const char* conditions;
    DWORD exitCode;
    const char* failureLine;
  } const cases[] = {
      {L"os_equal.exe", nullptr, "[conditions]\nMinOS=61\n", 0, nullptr},
      {L"os_above.exe", nullptr, "[conditions]\nMinOS=62\n", 150105,
       "CheckSystemRequirements fails - sMinOS = 62"},
      {L"os_win10.exe", L"win10", "[conditions]\nMinOS=100\n", 0, nullptr},
      {L"os_win10_above.exe", L"win10", "[conditions]\nMinOS=101\n", 150105,
       "CheckSystemRequirements fails - sMinOS = 101"},
      {L"os_word.exe", nullptr, "[conditions]\nMinOS=word\n", 0, nullptr},
      {L"mem_huge.exe", nullptr, "[conditions]\nMinMemory=99999999\n", 150105,
       "CheckSystemRequirements fails - sMinMemory = 99999999"},
      {L"mem_negative.exe", nullptr, "[conditions]\nMinMemory=-5\n", 150105,
       "CheckSystemRequirements fails - sMinMemory = -5"},
      {L"mem_small.exe", nullptr, "[conditions]\nMinMemory=64\n", 0, nullptr},
      {L"sp_met.exe", nullptr, "[MinServicePack]\n61W6=10\n", 0, nullptr},
      {L"sp_above.exe", nullptr, "[MinServicePack]\n61W6=11\n", 150105,
       "CheckSystemRequirements fails - minServicePack = 11"},
      {L"sp_other.exe", nullptr, "[MinServicePack]\n51W3=99\n61W3=99\n", 0, nullptr},
      // The first minimum that fails ends the check.
      {L"os_first.exe", nullptr, "[conditions]\nMinOS=62\nMinMemory=99999999\n", 150105,
       "CheckSystemRequirements fails - sMinOS = 62"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    RemoveTree(temp_);
    ::CreateDirectoryW(temp_.c_str(), nullptr);
    SetWindowsVersionFor(c.name, c.version);
    const std::wstring installer = Build(c.name, Ini(kUnknownProductCode, c.conditions));
    const ProcessResult run = RunInstaller(installer, L"/sfx_nu", temp_);
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (c.failureLine != nullptr) {
      EXPECT_TRUE(Logged(c.failureLine));
      EXPECT_TRUE(Logged("** Setting Error Condition: 150105"));
      EXPECT_FALSE(Logged("CheckDiskSpace...")) << "no later check after a failed minimum";
    } else {
      EXPECT_TRUE(Logged("CheckDiskSpace..."));
    }
  }
}

TEST_F(ChecksRunTest, LogsTheMachineFigures) {
  SetWindowsVersionFor(L"figures.exe", nullptr);
  RunInstaller(Build(L"figures.exe", Ini(kUnknownProductCode, "")), L"/sfx_nu /sfx_ne", temp_);
  MEMORYSTATUSEX memory{sizeof(memory)};
  ::GlobalMemoryStatusEx(&memory);
  const unsigned physical = static_cast<unsigned>(memory.ullTotalPhys >> 20);
  unsigned rounded = 1;
  while (rounded < physical && rounded < (1u << 30)) rounded <<= 1;
  if (physical > (1u << 30) || physical < 2) rounded = physical;
  EXPECT_TRUE(Logged("CheckSystemRequirements os,sp = 61 10 osString = 61W6, physicalMemory (" +
                     std::to_string(physical) + ") = " + std::to_string(rounded)));
  EXPECT_TRUE(Logged("Adding extracted installer size to the total size: "));
}

TEST_F(ChecksRunTest, SilentRunWithReReportsAFailedRequirementInTheRegistry) {
  const std::wstring installer = Build(
      L"report.exe", Ini(kUnknownProductCode, "[conditions]\nMinOS=100\n[STRING]\n"
                                              "SFX_UNSUPPORTED_OS=Not on this system.\n"));
  const DWORD before = static_cast<DWORD>(time(nullptr));
  const ProcessResult run = RunInstaller(installer, L"/sfx_nu /re", temp_);
  EXPECT_EQ(run.exitCode, 150105u);
  const auto logTime = ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"LogTime");
  ASSERT_TRUE(logTime.has_value());
  EXPECT_GE(*logTime, before);
  EXPECT_LE(*logTime, static_cast<DWORD>(time(nullptr)));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSetupKey, L"ErrorText"),
            L"Not on this system.\n\nError code:   150105");
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"ExitCode"), 150105u);

  // Without /re (and not the updater) the same failure leaves the registry alone.
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu", temp_).exitCode, 150105u);
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"ExitCode").has_value());
}

TEST_F(ChecksRunTest, UnwritableRegistryIsLoggedAndTheExitCodeStands) {
  // A volatile key cannot have lasting subkeys, so the report's key cannot be made.
  HKEY created = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko\\Setup", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  ScopedRegKey volatileKey(created);
  const std::wstring installer =
      Build(L"noreg.exe", Ini(kUnknownProductCode, "[conditions]\nMinOS=100\n"));
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu /re", temp_).exitCode, 150105u);
  EXPECT_TRUE(Logged("Failed to register LogTime"));
  EXPECT_TRUE(Logged("Failed to register ErrorText"));
  EXPECT_TRUE(Logged("Failed to register ExitCode"));
  EXPECT_EQ(WithoutTimestamp(LogLines(temp_).back()), "Program finished with exit code: 150105");
}

TEST_F(ChecksRunTest, UpdaterSuccessRecordsTheFolderAndNoError) {
  const std::wstring installer = Build(L"kiv.exe", Ini(kUnknownProductCode, ""));
  EXPECT_EQ(RunInstaller(installer, L"/Kiv \"/sfx_oC:\\kiv target\"", temp_).exitCode, 0u);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kKivKey, L"WebMsiPath"), kKivTarget);
  EXPECT_TRUE(FileExists(std::wstring(kKivTarget) + L"\\setup.exe")) << "the folder holds the payload";
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"LogTime").has_value());
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSetupKey, L"ErrorText").has_value());

  // A normal successful run writes nothing at all.
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Zelko");
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu /sfx_ne /re", temp_).exitCode, 0u);
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kKivKey, L"WebMsiPath").has_value());
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"ExitCode").has_value());
}

TEST_F(ChecksRunTest, TooLittleFreeSpaceNamesTheWholeRequirement) {
  const std::wstring installer = Build(
      L"disk.exe", Ini(kUnknownProductCode, "InstallerFolderSizeInMB=2000000\n"));
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu /re", temp_).exitCode, 150110u);
  // The payload archive counts its one MB on top.
  EXPECT_TRUE(Logged("Required size in MB:  2000001"));
  EXPECT_TRUE(Logged("Low disk space"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSetupKey, L"ErrorText"),
            L"Low disk space. Please, free 2000001 MB of disk space and run installer again."
            L"\n\nError code:   150110");
}

TEST_F(ChecksRunTest, RequiredSpaceCountsTheArchiveResource) {
  // The archive is measured before anything opens it: any bytes will do, and the run ends
  // later, at the extraction, with the condition of a file that is no archive.
  const std::wstring archive = work_ / L"payload.7z";
  ASSERT_TRUE(WriteFileBytes(archive, std::string(37566366, 'z')));
  const std::wstring installer =
      Build(L"size.exe", Ini(kUnknownProductCode, "InstallerFolderSizeInMB=130\n"), archive,
            /*pastThePackersChecks=*/true);  // the packer refuses what is no archive
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu /sfx_ne", temp_).exitCode, 150213u);
  EXPECT_TRUE(Logged("Adding extracted installer size to the total size: 130"));
  EXPECT_TRUE(Logged("Required size in MB:  165"));
}

class InstalledProductTest : public ChecksRunTest {
 protected:
  static void SetUpTestSuite() {
    const ProcessResult install =
        RunProcess(L"msiexec /i " + QuoteArgument(FixtureFolder() + L"test_product.msi") +
                   L" /qn");
    installed_ = install.started && install.exitCode == 0;
  }
  static void TearDownTestSuite() {
    RunProcess(L"msiexec /x " + std::wstring(kTestProductCode, kTestProductCode + 38) +
               L" /qn");
  }
  static bool installed_;
};
bool InstalledProductTest::installed_ = false;

TEST_F(InstalledProductTest, InstalledOrUnknownProductDecidesTheRun) {
  ASSERT_TRUE(installed_) << "msiexec could not install the test product";
  struct Case {
    const wchar_t* name;
    const char* productCode;
    const wchar_t* arguments;
    DWORD exitCode;
  } const cases[] = {
      {L"installed.exe", kTestProductCode, L"/sfx_nu /re", 150120},
      {L"unknown.exe", kUnknownProductCode, L"/sfx_nu /re", 0},
      // Windows Installer refuses a malformed code; that counts as installed.
      {L"malformed.exe", "not-a-product-code", L"/sfx_nu /re", 150120},
      // Runs that do not start the setup program do not ask.
      {L"noexec.exe", kTestProductCode, L"/sfx_nu /sfx_ne", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
    // The packer refuses a code that is not in braces.
    const std::wstring installer =
        Build(c.name, Ini(c.productCode, ""), FixtureFolder() + L"setup_payload.7z",
              /*pastThePackersChecks=*/c.productCode[0] != '{');
    EXPECT_EQ(RunInstaller(installer, c.arguments, temp_).exitCode, c.exitCode);
    if (c.exitCode == 150120) {
      EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSetupKey, L"ErrorText"),
                L"This product is already installed.\n\nError code:   150120");
    }
  }
  EXPECT_TRUE(Logged("IsAlreadyInstalled..."));
  EXPECT_TRUE(Logged("Product already installed"));

  // With a second archive the installed product does not stop the run: both payloads go
  // into the "RDC" subfolder of the product's folder.
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zelko");
  InstallerPackage package{Ini(kTestProductCode, "RDCArchiveSize=1\n")};
  package.archive = FixtureFolder() + L"setup_payload.7z";
  package.rdcArchive = package.archive;
  const std::wstring installer = work_ / L"rdc.exe";
  BuildInstaller(work_.path(), package, installer);
  EXPECT_EQ(RunInstaller(installer, L"/sfx_nu /re", temp_).exitCode, 0u);
  const std::wstring productFolder = ZelkoDataFolder() + L"\\Setup\\" +
                                     std::wstring(kTestProductCode, kTestProductCode + 38);
  EXPECT_TRUE(Logged("Installer folder: " + Narrow(productFolder) + "\\RDC"));
  EXPECT_FALSE(ReadDword(HKEY_LOCAL_MACHINE, kSetupKey, L"ExitCode").has_value());
  RemoveTree(ZelkoDataFolder());
}

}  // namespace
}  // namespace zelko::test
