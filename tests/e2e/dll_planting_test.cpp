// An installer run from a folder that also holds DLLs with system DLLs' names, as a downloads
// folder can, with Wine told to prefer such native DLLs: the installer loads none of them,
// silent or with its dialog, through the installed-product query and the whole installation.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

constexpr char kIni[] =
    "[INSTALL]\n"
    "ProductCode={3B5E8C21-7D4F-4E6A-9B1C-2D3E4F5A6B7C}\n"
    "[STRING]\n"
    "SFX_DLG_TITLE=Preparing Demo\n"
    "SFX_BTN_CANCEL=Cancel\n";

// Names under which DLLs are planted beside downloaded programs: DLLs that programs, or the
// system DLLs they use, load by name and that are not known DLLs on every Windows.
const std::vector<std::wstring> kPlantedNames = {
    L"version",  L"uxtheme",  L"dwmapi",   L"cryptbase", L"userenv",  L"propsys",
    L"profapi",  L"sspicli",  L"secur32",  L"winmm",     L"comctl32", L"msi",
    L"cabinet",  L"wininet",  L"winhttp",  L"iphlpapi",  L"dbghelp",  L"wintrust",
    L"crypt32",  L"bcrypt",   L"netapi32", L"mpr",       L"oleacc",   L"riched20",
    L"textshaping", L"windowscodecs", L"dwrite", L"cfgmgr32", L"ntmarta", L"srvcli"};

// The programs that the tests start from the folder with the planted DLLs.
constexpr const wchar_t* kPrograms[] = {L"ZelkoDemoSetup.exe", L"dll_probe.exe"};

class DllPlantingTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    ASSERT_TRUE(::CreateDirectoryW(downloads_.c_str(), nullptr));
    const std::wstring canary = BuiltProgramFolder() + L"..\\tests\\canary.dll";
    for (const std::wstring& name : kPlantedNames) {
      ASSERT_TRUE(::CopyFileW(canary.c_str(), (downloads_ + L"\\" + name + L".dll").c_str(), TRUE))
          << Narrow(name);
    }
    // Native first, for the programs started from this folder: Wine's own DLLs would otherwise
    // win over any DLL found on the search path, and a planted DLL would never show. Wine takes
    // these from the registry only, not from the environment of a process started under it.
    for (const wchar_t* program : kPrograms) {
      HKEY key = nullptr;
      ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, OverridesKey(program).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      const ScopedRegKey owner(key);
      for (const std::wstring& name : kPlantedNames) {
        static const wchar_t kNativeFirst[] = L"native,builtin";
        ASSERT_EQ(::RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(kNativeFirst), sizeof(kNativeFirst)),
                  ERROR_SUCCESS);
      }
    }
  }
  void TearDown() override {
    for (const wchar_t* program : kPrograms) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, OverridesKey(program).c_str());
    }
    RemoveTree(ZelkoDataFolder());
  }

  static std::wstring OverridesKey(const wchar_t* program) {
    return std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides";
  }

  ProcessResult RunIn(const std::wstring& program, const std::wstring& arguments) const {
    ProcessOptions options;
    options.environment = {L"TEMP=" + temp_, L"TMP=" + temp_};
    return RunProcess(QuoteArgument(downloads_ + L"\\" + program) + L" " + arguments, options);
  }

  // The planted DLLs that something loaded.
  std::vector<std::string> LoadedCanaries() const {
    std::vector<std::string> loaded;
    for (const std::wstring& name : FolderEntries(downloads_)) {
      if (name.size() > 7 && name.substr(name.size() - 7) == L".loaded") loaded.push_back(Narrow(name));
    }
    return loaded;
  }

  const std::wstring downloads_ = work_ / L"Downloads";
};

// The frame itself: a program that loads a DLL the unsafe way gets the planted one.
TEST_F(DllPlantingTest, APlantedDllLoadedTheUnsafeWayIsSeen) {
  ASSERT_TRUE(::CopyFileW((BuiltProgramFolder() + L"..\\tests\\dll_probe.exe").c_str(),
                          (downloads_ + L"\\dll_probe.exe").c_str(), TRUE));
  EXPECT_EQ(RunIn(L"dll_probe.exe", L"version.dll").exitCode, 0u);
  EXPECT_EQ(LoadedCanaries(), std::vector<std::string>{"version.dll.loaded"});
}

TEST_F(DllPlantingTest, TheInstallerLoadsNoneOfThemSilentOrWithItsDialog) {
  InstallerPackage package{kIni, FixtureFolder() + L"setup_payload.7z"};
  package.fillSizes = true;
  BuildInstaller(work_.path(), package, downloads_ + L"\\ZelkoDemoSetup.exe");

  for (const wchar_t* arguments : {L"/sfx_nu /exit=7", L"/exit=7"}) {
    SCOPED_TRACE(Narrow(arguments));
    const ProcessResult run = RunIn(L"ZelkoDemoSetup.exe", arguments);
    EXPECT_EQ(run.exitCode, 7u) << run.output;
    EXPECT_TRUE(Logged("Installer finished with exit code: 7"));
    EXPECT_EQ(LoadedCanaries(), std::vector<std::string>{});
    RemoveTree(ZelkoDataFolder());
  }
}

}  // namespace
}  // namespace zelko::test
