// What a run leaves for other runs and what it takes from around it: a killed run's files are
// removed by a later run and nothing else is, a program planted beside the installer or in
// the caller's folder is never started, a target folder that fails leaves none of the folders
// made for it, and runs at the same time each keep a whole log.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/held_run.h"
#include "tests/support/installer_run.h"
#include "tests/support/leftover_folders.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {
namespace {

constexpr char kProductCode[] = "{5B1E7C3A-9D2F-4E6B-8A0C-1F3D5B7E9A2C}";

std::string ProductCode(int product) {
  std::string code = kProductCode;
  code[1] = static_cast<char>('0' + product);
  return code;
}

class RunIsolationTest : public InstallerRunTest {
 protected:
  void SetUp() override {
    InstallerRunTest::SetUp();
    RemoveTree(ZelkoDataFolder());
  }
  void TearDown() override { RemoveTree(ZelkoDataFolder()); }

  // An installer of product number `product` with the test payload, or with `archive`.
  void Build(const std::wstring& path, int product, const std::string& install = "",
             const std::wstring& archive = L"") {
    InstallerPackage package{"[INSTALL]\nProductCode=" + ProductCode(product) + "\n" + install};
    package.archive = archive.empty() ? FixtureFolder() + L"setup_payload.7z" : archive;
    package.pastThePackersChecks = !archive.empty();
    BuildInstaller(work_.path(), package, path);
  }

  std::wstring OwnFolder(int product) const {
    const std::string code = ProductCode(product);
    return ZelkoDataFolder() + L"\\Setup\\" + std::wstring(code.begin(), code.end());
  }
};

// A run killed while its setup program runs leaves its support folder; once that is an hour
// old and the run is gone, the next run (of another product) removes it, and nothing of the
// folders beside it that only look abandoned.
TEST_F(RunIsolationTest, KilledRunsFilesGoWithALaterRunAndNothingElse) {
  const std::wstring killed = work_ / L"killed_run.exe";
  Build(killed, 1);
  Build(installer_, 2);
  const LeftoversThatStay stay(temp_, work_ / L"outside");
  const std::vector<std::wstring> before = SortedFolderEntries(temp_);

  HeldRun held([&](const std::wstring& hold) {
    return RunInstaller(killed, L"/sfx_nu " + hold, temp_);
  });
  ASSERT_TRUE(held.WaitUntilRunning()) << "the setup program never started";
  std::wstring support;
  for (const std::wstring& name : SortedFolderEntries(temp_)) {
    if (name != L"ZelkoSFX.log" && std::find(before.begin(), before.end(), name) == before.end()) {
      support = temp_ + L"\\" + name;
    }
  }
  ASSERT_FALSE(support.empty()) << "no support folder";
  for (const wchar_t* name : {L"config.bin", L"installer.bin"}) {
    ASSERT_TRUE(AgeFile(support + L"\\" + name, 61));
  }
  // Its files untouched for over an hour, but the run is alive (its setup program waits):
  // the next run leaves them.
  EXPECT_EQ(Run(L"/sfx_nu /exit=6").exitCode, 6u);
  EXPECT_TRUE(FileExists(support + L"\\config.bin"));

  const ProcessResult kill = RunProcess(L"taskkill.exe /F /IM killed_run.exe");
  ASSERT_EQ(kill.exitCode, 0u) << kill.output;
  held.Finish();  // the setup program, which outlives the killed run
  ASSERT_EQ(SortedFolderEntries(support),
            (std::vector<std::wstring>{L"config.bin", L"installer.bin"}))
      << "the killed run cleaned up after all";
  EXPECT_EQ(Run(L"/sfx_nu /exit=7").exitCode, 7u);
  EXPECT_FALSE(FileExists(support));
  EXPECT_TRUE(Logged("Removed support folder of an earlier run: " + Narrow(support)));
  stay.ExpectUntouched();
  std::vector<std::wstring> left = stay.Names();
  // The run beside the live one logged to a file of its own.
  left.insert(left.end(), {L"ZelkoSFX.log", L"ZelkoSFX_NotLocked.log"});
  std::sort(left.begin(), left.end());
  EXPECT_EQ(SortedFolderEntries(temp_), left);
}

// A relative RUN names a program in the installer folder, never the one of the same name
// that anyone could put beside a downloaded installer, or in the folder the caller runs in.
TEST_F(RunIsolationTest, PlantedSetupProgramBesideTheInstallerNeverRuns) {
  const std::wstring caller = work_ / L"caller";
  const std::wstring setup = FixtureFolder() + L"setup_payload\\setup.exe";
  ASSERT_TRUE(::CreateDirectoryW(caller.c_str(), nullptr));
  for (const std::wstring& folder : {work_.path(), caller}) {
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\tools").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(setup.c_str(), (folder + L"\\setup.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(setup.c_str(), (folder + L"\\tools\\setup.exe").c_str(), FALSE));
  }
  struct Case {
    const char* run;
    DWORD exitCode;
    const wchar_t* ran;  // below the installer folder; null: nothing ran
  } const cases[] = {
      {"RUN=setup.exe\n", 5, L"setup_ran.txt"},
      // Not in the payload: missing, whatever lies around.
      {"RUN=tools\\setup.exe\n", 150300, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.run);
    RemoveTree(ZelkoDataFolder());
    ::DeleteFileW((temp_ + L"\\ZelkoSFX.log").c_str());
    Build(installer_, 1, c.run);
    ProcessOptions options;
    options.environment = {L"TEMP=" + temp_, L"TMP=" + temp_};
    options.currentDirectory = caller;
    EXPECT_EQ(RunProcess(QuoteArgument(installer_) + L" /sfx_nu /exit=5", options).exitCode,
              c.exitCode);
    if (c.ran != nullptr) {
      EXPECT_TRUE(FileExists(OwnFolder(1) + L"\\" + c.ran));
    } else {
      EXPECT_TRUE(Logged("Failed to find installer run file at: " + Narrow(OwnFolder(1)) +
                         "\\tools\\setup.exe"));
    }
    for (const std::wstring& folder : {work_.path(), caller}) {
      EXPECT_FALSE(FileExists(folder + L"\\setup_ran.txt")) << "planted in " << Narrow(folder);
      EXPECT_FALSE(FileExists(folder + L"\\tools\\setup_ran.txt")) << Narrow(folder);
    }
    ExpectNoLeftovers();
  }
}

// The folders a run made on the way to a command-line folder go again when that folder fails
// or the run is cancelled; the folder that was there before stays.
TEST_F(RunIsolationTest, OutputFolderThatFailsLeavesNoFolderItMade) {
  const std::wstring had = work_ / L"had";
  ASSERT_TRUE(::CreateDirectoryW(had.c_str(), nullptr));
  const std::wstring broken = work_ / L"broken.7z";
  ASSERT_TRUE(WriteFileBytes(broken, "this is no archive"));
  std::wstring deep = had;
  for (int n = 1; deep.size() < 30000; ++n) {
    deep += L"\\dir_" + std::to_wstring(100 + n).substr(1) + L"_abcdefghij";
  }
  struct Case {
    const char* name;
    std::wstring folder;
    std::wstring archive;  // empty: the test payload
    const wchar_t* arguments;
    DWORD exitCode;        // 0: any failure
  } const cases[] = {
      {"made, then nothing to extract", had + L"\\new1\\new2\\target", broken, L"", 150213},
      {"made, then the setup program cancelled", had + L"\\new1\\new2\\target", L"",
       L" /exit=1602", 1602},
      {"a name no file system takes", had + L"\\new1\\new2\\" + std::wstring(300, L'n'), L"",
       L"", 0},
      {"30,000 characters", deep, L"", L"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::DeleteFileW((temp_ + L"\\ZelkoSFX.log").c_str());
    Build(installer_, 1, "", c.archive);
    const ProcessResult run = Run(L"/sfx_nu \"/sfx_o" + c.folder + L"\"" + c.arguments);
    if (c.exitCode != 0) {
      EXPECT_EQ(run.exitCode, c.exitCode);
    } else {
      EXPECT_NE(run.exitCode, 0u);
      EXPECT_TRUE(Logged("Cannot write in directory: " + Narrow(c.folder)));
    }
    EXPECT_EQ(FolderEntries(had), std::vector<std::wstring>{});
    ExpectNoLeftovers();
  }
}

// Four installers of four products started together: each run writes a whole log of its own,
// beginning to end, and no entry of one lands in another's.
TEST_F(RunIsolationTest, RunsAtTheSameTimeEachKeepAWholeLog) {
  constexpr int kRuns = 4;
  std::vector<std::unique_ptr<HeldRun>> runs;
  for (int product = 1; product <= kRuns; ++product) {
    const std::wstring installer = work_ / (L"product" + std::to_wstring(product) + L".exe");
    Build(installer, product);
    runs.push_back(std::make_unique<HeldRun>([this, installer, product](const std::wstring& hold) {
      return RunInstaller(installer, L"/sfx_nu " + hold + L" /exit=" + std::to_wstring(product),
                          temp_);
    }));
  }
  // All four are alive at once, each holding its log.
  for (auto& run : runs) ASSERT_TRUE(run->WaitUntilRunning()) << "a setup program never started";
  for (int product = kRuns; product >= 1; --product) {
    EXPECT_EQ(runs[product - 1]->Finish().exitCode, static_cast<DWORD>(product));
  }

  const std::vector<std::wstring> logs = {L"ZelkoSFX.log", L"ZelkoSFX_NotLocked.log",
                                          L"ZelkoSFX_NotLocked2.log", L"ZelkoSFX_NotLocked3.log"};
  EXPECT_EQ(SortedFolderEntries(temp_), logs);
  std::set<std::string> ends;
  for (const std::wstring& log : logs) {
    SCOPED_TRACE(Narrow(log));
    std::vector<std::string> texts;
    for (const std::string& line : LogLines(temp_, log.c_str())) {
      texts.push_back(WithoutTimestamp(line));
    }
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Zelko SFX 10.0.0.1 logging started.");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), texts.front()), 1);
    const std::string& last = texts.back();
    const std::string code = last.substr(last.find_last_of(' ') + 1);
    EXPECT_EQ(last, "Program finished with exit code: " + code);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Installer finished with exit code: " + code),
              1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Cleanup..."), 1);
    ends.insert(code);
  }
  EXPECT_EQ(ends, (std::set<std::string>{"1", "2", "3", "4"}));
}

}  // namespace
}  // namespace zelko::test
