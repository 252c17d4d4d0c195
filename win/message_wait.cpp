#include "win/message_wait.h"

namespace zelko {

bool WaitAnsweringSentMessages(HANDLE handle, DWORD milliseconds) {
  const DWORD count = handle != nullptr ? 1 : 0;
  return WaitAnsweringSentMessages(&handle, count, milliseconds) < count;
}

DWORD WaitAnsweringSentMessages(const HANDLE* handles, DWORD count, DWORD milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    DWORD wait = milliseconds;
    if (milliseconds != INFINITE) {
      const ULONGLONG now = ::GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    const DWORD result =
        ::MsgWaitForMultipleObjects(count, count ? handles : nullptr, FALSE, wait, QS_SENDMESSAGE);
    if (result - WAIT_OBJECT_0 < count) return result - WAIT_OBJECT_0;
    if (result != WAIT_OBJECT_0 + count) return count;  // the time is up, or the wait failed
    // Peeking delivers the sent messages; nothing posted is taken from the queue.
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace zelko
