#include "win/message_wait.h"

#include <gtest/gtest.h>

#include <thread>

#include "win/scoped_handle.h"

namespace zelko {
namespace {

ScopedHandle ManualEvent(BOOL signalled) {
  return ScopedHandle(::CreateEventW(nullptr, TRUE, signalled, nullptr));
}

// The start of the dialog's thread waits on its ready event and its thread together: the
// first handle signalled wins, the ready one before the thread's end when both are, and a
// wait that runs out names neither.
TEST(MessageWaitTest, SeveralHandlesNameTheFirstSignalled) {
  const ScopedHandle ready = ManualEvent(FALSE);
  const ScopedHandle ended = ManualEvent(FALSE);
  ASSERT_TRUE(ready && ended);
  const HANDLE both[] = {ready.get(), ended.get()};

  EXPECT_EQ(2u, WaitAnsweringSentMessages(both, 2, 0));
  ASSERT_TRUE(::SetEvent(ended.get()));
  EXPECT_EQ(1u, WaitAnsweringSentMessages(both, 2, 0));
  ASSERT_TRUE(::SetEvent(ready.get()));
  EXPECT_EQ(0u, WaitAnsweringSentMessages(both, 2, 0));

  // Signalled by another thread while the wait blocks.
  ASSERT_TRUE(::ResetEvent(ready.get()));
  ASSERT_TRUE(::ResetEvent(ended.get()));
  std::thread other([&] { ::SetEvent(ended.get()); });
  EXPECT_EQ(1u, WaitAnsweringSentMessages(both, 2, 30000));
  other.join();

  // The one-handle form.
  EXPECT_TRUE(WaitAnsweringSentMessages(ended.get(), 0));
  EXPECT_FALSE(WaitAnsweringSentMessages(ready.get(), 0));
  EXPECT_FALSE(WaitAnsweringSentMessages(nullptr, 0));
}

// A thread that sends to a window of the waiting thread is answered during the wait, so it
// can end and signal the wait's handle.
TEST(MessageWaitTest, AnswersSentMessagesWhileWaiting) {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const ScopedHandle sender(::CreateThread(
      nullptr, 0,
      [](void* target) -> DWORD {
        ::SendMessageW(static_cast<HWND>(target), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
        return 0;
      },
      window, 0, nullptr));
  ASSERT_TRUE(sender);
  const HANDLE handles[] = {sender.get()};
  EXPECT_EQ(0u, WaitAnsweringSentMessages(handles, 1, 30000))
      << "the sender's message was not answered within 30 s";
  ::DestroyWindow(window);
}

}  // namespace
}  // namespace zelko
