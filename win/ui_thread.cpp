#include "win/ui_thread.h"

namespace zelko {

bool CWinThread::CreateThread(int priority, UINT stackSize, DWORD createFlags) {
  // Started suspended so the priority is in place before the thread runs any code.
  thread_.reset(::CreateThread(nullptr, stackSize, ThreadMain, this,
                               createFlags | CREATE_SUSPENDED, nullptr));
  if (!thread_) return false;
  ::SetThreadPriority(thread_.get(), priority);
  if ((createFlags & CREATE_SUSPENDED) == 0) ::ResumeThread(thread_.get());
  return true;
}

DWORD WINAPI CWinThread::ThreadMain(void* param) {
  auto* self = static_cast<CWinThread*>(param);
  if (self->InitInstance()) {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return static_cast<DWORD>(self->ExitInstance());
}

}  // namespace zelko
