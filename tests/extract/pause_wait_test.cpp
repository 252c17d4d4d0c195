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

// WaitWhilePaused, bounded: a wait still blocked after 10 seconds has lost its release. The
// test then fails, and the wait is ended (the run finished, the event signalled) so that the
// test does not hang.
::testing::AssertionResult WaitWhilePausedEnds() {
  const ScopedHandle returned(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!returned) return ::testing::AssertionFailure() << "no event: " << ::GetLastError();
  std::atomic<bool> rescued{false};
  std::thread watchdog([&] {
    if (::WaitForSingleObject(returned.get(), 10000) == WAIT_OBJECT_0) return;
    rescued = true;
    theApp.bFinished_ = TRUE;
    if (theApp.waitEvent_ != nullptr) ::SetEvent(theApp.waitEvent_);
  });
  const BOOL result = WaitWhilePaused();
  ::SetEvent(returned.get());
  watchdog.join();
  if (rescued) return ::testing::AssertionFailure() << "the wait was still blocked after 10 s";
  if (!result) return ::testing::AssertionFailure() << "WaitWhilePaused returned FALSE";
  return ::testing::AssertionSuccess();
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
    const ::testing::AssertionResult ended = WaitWhilePausedEnds();
    ui.join();
    ASSERT_TRUE(ended) << "round " << i;
    EXPECT_TRUE(released) << "round " << i;
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
  EXPECT_TRUE(WaitWhilePausedEnds());
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
