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
  const HANDLE event = theApp.waitEvent_;
  ASSERT_NE(nullptr, event);
  for (int i = 0; i < 300; ++i) {
    // Every tenth round runs without the event, as a run whose event could not be made.
    theApp.waitEvent_ = i % 10 == 0 ? nullptr : event;
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
  theApp.waitEvent_ = event;
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
  const ScopedHandle made(CreateWaitEvent());
  ASSERT_TRUE(made.valid());
  const ScopedHandle other(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"WaitEvent"));
  ASSERT_TRUE(other.valid());
  // Manual reset: a signal stays until the user-interface thread resets it.
  ASSERT_TRUE(::SetEvent(other.get()));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(made.get(), 0));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(made.get(), 0));
  ASSERT_TRUE(::ResetEvent(other.get()));
}

}  // namespace
}  // namespace zelko::test
