#include "win/message_wait.h"

namespace zelko {

bool WaitAnsweringSentMessages(HANDLE handle, DWORD milliseconds) {
  const DWORD count = handle != nullptr ? 1 : 0;
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    DWORD wait = milliseconds;
    if (milliseconds != INFINITE) {
      const ULONGLONG now = ::GetTickCount64();
      wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    const DWORD result =
        ::MsgWaitForMultipleObjects(count, count ? &handle : nullptr, FALSE, wait, QS_SENDMESSAGE);
    if (count == 1 && result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + count) return false;  // the time is up, or the wait failed
    // Peeking delivers the sent messages; nothing posted is taken from the queue.
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace zelko
