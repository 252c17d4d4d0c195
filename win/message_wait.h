// Waiting on another thread without stopping this thread's windows.
#pragma once

#include <windows.h>

namespace zelko {

// Waits up to `milliseconds` (INFINITE allowed) for `handle` to be signalled, or only for the
// time when `handle` is null, answering meanwhile the messages that other threads send to
// this thread's windows. A thread that waits for a user-interface thread must keep answering
// them: that thread may be sending to one of this thread's windows (an owner, or activation
// and focus changes, which reach every thread with a window), and then both would stop.
// Returns true when the handle was signalled.
bool WaitAnsweringSentMessages(HANDLE handle, DWORD milliseconds);

// The same for the first of `count` handles (fewer than MAXIMUM_WAIT_OBJECTS) to be signalled:
// returns its index, or `count` when the time is up or the wait failed.
DWORD WaitAnsweringSentMessages(const HANDLE* handles, DWORD count, DWORD milliseconds);

}  // namespace zelko
