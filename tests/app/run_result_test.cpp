// The one rule of a run's exit code: 0 only where the run reached a success point. Every other
// end without a condition, a cancel or a code of its own becomes 1603, with the step named.
#include <gtest/gtest.h>

#include <string>

#include "app/sfx_app.h"
#include "tests/support/temp_folder.h"

namespace zelko {
namespace {

TEST(RunResultTest, OnlyASuccessPointEndsWithZero) {
  struct Case {
    const char* name;
    BOOL succeeded;
    BOOL cancelled;
    int32_t exitCode;  // as the run left it
    int32_t returned;
  } const cases[] = {
      {"success point", TRUE, FALSE, 0, 0},
      {"setup program's own code", TRUE, FALSE, 3010, 3010},
      {"no success point", FALSE, FALSE, 0, 1603},
      // A confirmed cancel is the user's answer (the report makes it 1602), and a path that
      // set its own code (1620, 1632, a system error) keeps it.
      {"cancelled", FALSE, TRUE, 0, 0},
      {"own code", FALSE, FALSE, 1620, 1620},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    theApp.bRunSucceeded_ = c.succeeded;
    theApp.bCancelled_ = c.cancelled;
    theApp.exitCode_ = c.exitCode;
    theApp.runStep_ = L"InitDialog";
    test::LogCapture log;
    EXPECT_EQ(theApp.ExitInstance(), c.returned);
    const bool named =
        log.Text().find("Run ended without a result in step: InitDialog") != std::string::npos;
    EXPECT_EQ(named, c.returned == 1603) << log.Text();
    EXPECT_NE(log.Text().find("Program finished with exit code: " + std::to_string(c.returned)),
              std::string::npos);
  }
  theApp.bRunSucceeded_ = FALSE;
  theApp.bCancelled_ = FALSE;
  theApp.exitCode_ = 0;
}

}  // namespace
}  // namespace zelko
