#include "checks/setup_launch.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace zelko {
namespace {

using Outcome = SetupLaunchResult::Outcome;

// A real program with a known exit code, in place of a setup program.
std::wstring ExitWith(DWORD code) { return L"cmd.exe /c exit " + std::to_wstring(code); }

// Stands in for the system where the system cannot be driven: no test can answer an
// elevation prompt, and Wine never asks for elevation. A start that "works" starts a real
// program, so the wait and the exit code are the real ones.
class ScriptedStarter : public SetupProcessStarter {
 public:
  ScriptedStarter(DWORD createError, DWORD elevateError)
      : createError_(createError), elevateError_(elevateError) {}

  ScopedHandle Create(const std::wstring& commandLine, DWORD* error) override {
    createdWith = commandLine;
    if (createError_ != 0) {
      *error = createError_;
      return ScopedHandle();
    }
    return SystemSetupStarter().Create(ExitWith(7), error);
  }
  ScopedHandle CreateElevated(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder, DWORD* error) override {
    ++elevations;
    elevatedProgram = program;
    elevatedArguments = arguments;
    elevatedFolder = folder;
    if (elevateError_ != 0) {
      *error = elevateError_;
      return ScopedHandle();
    }
    return SystemSetupStarter().Create(ExitWith(42), error);
  }

  std::wstring createdWith;
  int elevations = 0;
  std::wstring elevatedProgram, elevatedArguments, elevatedFolder;

 private:
  DWORD createError_;
  DWORD elevateError_;
};

TEST(LaunchSetupProgramTest, OnlyElevationRequiredStartsAgainThroughRunas) {
  struct Case {
    DWORD createError;
    DWORD elevateError;
    Outcome outcome;
    DWORD exitCode;  // when it ran
    DWORD error;     // when it did not
    int elevations;
  } const cases[] = {
      {0, 0, Outcome::kFinished, 7, 0, 0},
      // A manifest that asks for administrator rights: the shell asks the user.
      {kErrorElevationRequired, 0, Outcome::kFinished, 42, 0, 1},
      {kErrorElevationRequired, ERROR_CANCELLED, Outcome::kElevationRefused, 0, ERROR_CANCELLED, 1},
      {kErrorElevationRequired, ERROR_FILE_NOT_FOUND, Outcome::kNotStarted, 0,
       ERROR_FILE_NOT_FOUND, 1},
      // Every other failure is final: a text file named .exe, a folder, a missing DLL.
      {ERROR_BAD_EXE_FORMAT, 0, Outcome::kNotStarted, 0, ERROR_BAD_EXE_FORMAT, 0},
      {ERROR_ACCESS_DENIED, 0, Outcome::kNotStarted, 0, ERROR_ACCESS_DENIED, 0},
      {ERROR_CANCELLED, 0, Outcome::kNotStarted, 0, ERROR_CANCELLED, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.createError << " then " << c.elevateError);
    ScriptedStarter starter(c.createError, c.elevateError);
    const SetupLaunchResult result =
        LaunchSetupProgram(L"C:\\p q\\setup.exe", L"\"C:\\p q\\setup.exe\" /q  X=1", L"/q  X=1",
                           L"C:\\work", starter);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.elevated, c.elevations != 0);
    EXPECT_EQ(starter.createdWith, L"\"C:\\p q\\setup.exe\" /q  X=1");
    EXPECT_EQ(starter.elevations, c.elevations);
    if (c.outcome == Outcome::kFinished) {
      EXPECT_EQ(result.exitCode, c.exitCode);
    } else {
      EXPECT_EQ(result.error, c.error);
    }
    if (c.elevations != 0) {
      // The same program, arguments and folder as the first attempt.
      EXPECT_EQ(starter.elevatedProgram, L"C:\\p q\\setup.exe");
      EXPECT_EQ(starter.elevatedArguments, L"/q  X=1");
      EXPECT_EQ(starter.elevatedFolder, L"C:\\work");
    }
  }
}

// Windows refuses a command line of more than 32,767 characters with its null; Wine would cut
// it. Such a line is never handed to the system.
TEST(LaunchSetupProgramTest, ACommandLineLongerThanWindowsTakesIsNotStarted) {
  for (const size_t length : {size_t{32766}, size_t{32767}}) {
    SCOPED_TRACE(length);
    const std::wstring program = L"C:\\setup.exe";
    const std::wstring commandLine = program + L" " + std::wstring(length - program.size() - 1, L'x');
    ScriptedStarter starter(0, 0);
    const SetupLaunchResult result =
        LaunchSetupProgram(program, commandLine, commandLine.substr(program.size() + 1), L"", starter);
    if (length <= kLongestCommandLine) {
      EXPECT_EQ(result.outcome, Outcome::kFinished);
      EXPECT_EQ(starter.createdWith, commandLine);
    } else {
      EXPECT_EQ(result.outcome, Outcome::kNotStarted);
      EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
      EXPECT_EQ(starter.createdWith, L"") << "handed to the system";
      EXPECT_EQ(starter.elevations, 0);
    }
  }
}

// A program that ran but whose exit code cannot be read leaves the outcome unknown, with the
// system's reason. No real process handle refuses the query, so the starter hands back a
// signalled event: the wait ends, the query fails.
TEST(LaunchSetupProgramTest, AnExitCodeThatCannotBeReadCarriesItsError) {
  class EventStarter : public ScriptedStarter {
   public:
    EventStarter() : ScriptedStarter(0, 0) {}
    ScopedHandle Create(const std::wstring&, DWORD* error) override {
      *error = 0;
      return ScopedHandle(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    }
  } starter;
  const SetupLaunchResult result =
      LaunchSetupProgram(L"C:\\setup.exe", L"C:\\setup.exe ", L"", L"", starter);
  EXPECT_EQ(result.outcome, Outcome::kNoExitCode);
  EXPECT_NE(result.error, 0u);
}

// The system's "runas" start, as far as Wine goes (it never shows a prompt): the program runs
// with the arguments in the folder given, and its exit code is there to read.
TEST(SystemSetupStarterTest, RunasStartsTheProgramInTheFolderGiven) {
  test::TempFolder folder;
  ASSERT_TRUE(test::WriteFileBytes(folder / L"here.txt", "marker"));
  DWORD error = 0;
  ScopedHandle process = SystemSetupStarter().CreateElevated(
      L"cmd.exe", L"/c if exist here.txt (exit 5) else (exit 6)", folder.path(), &error);
  ASSERT_TRUE(process) << error;
  ASSERT_EQ(::WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
  EXPECT_EQ(exitCode, 5u);

  // A failure is reported, never shown: no box of the shell's own waits for a user.
  EXPECT_FALSE(SystemSetupStarter().CreateElevated(folder / L"missing.exe", L"", folder.path(),
                                                   &error));
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace zelko
