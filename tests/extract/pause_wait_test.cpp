#include "extract/pause_wait.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <random>
#include <thread>

#include "app/sfx_app.h"
#include "tests/extract/extract_test_support.h"
#include "win/scoped_handle.h"

namespace zelko::test {
namespace {

void Spin(unsigned count) {
  for (volatile unsigned i = 0; i < count; ++i) {
  }
}

// The main thread waits while a second thread, acting as the user-interface thread, closes
// the question at a random moment: before the wait begins, while it begins, or while it
// blocks. The wait must end every time, and never before the release.
TEST(WaitWhilePausedTest, NoReleaseIsLost) {
  ResetRunState();
  std::mt19937 random(12345);
  for (int i = 0; i < 300; ++i) {
    // Every tenth round is a first pause: no event exists yet when the question closes.
    if (i % 10 == 0 && theApp.waitEvent_ != nullptr) {
      ::CloseHandle(theApp.waitEvent_);
      theApp.waitEvent_ = nullptr;
    }
    BeginPause();
    std::atomic<bool> released{false};
    const unsigned delay = random() % 200000;
    std::thread ui([&] {
      Spin(delay);
      released = true;
      EndPause();
    });
    Spin(random() % 200000);
    EXPECT_TRUE(WaitWhilePaused());
    EXPECT_TRUE(released) << "round " << i;
    ui.join();
  }
  ASSERT_NE(nullptr, theApp.waitEvent_);
  // The wait never resets the event; that is the user-interface thread's part.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(theApp.waitEvent_, 0));
}

TEST(WaitWhilePausedTest, EndsAtCancelEvenIfStillPaused) {
  ResetRunState();
  BeginPause();
  std::thread ui([] {
    theApp.bFinished_ = TRUE;  // a confirmed cancel, signalled before bPaused_ is cleared
    if (theApp.waitEvent_ != nullptr) ::SetEvent(theApp.waitEvent_);
  });
  EXPECT_TRUE(WaitWhilePaused());
  ui.join();
  ResetRunState();
}

TEST(WaitWhilePausedTest, MakesTheNamedEvent) {
  ResetRunState();
  EXPECT_TRUE(WaitWhilePaused());  // not paused: returns at once
  ASSERT_NE(nullptr, theApp.waitEvent_);
  const ScopedHandle other(::OpenEventW(SYNCHRONIZE, FALSE, L"WaitEvent"));
  EXPECT_TRUE(other.valid());
}

}  // namespace
}  // namespace zelko::test
