// A user-interface thread: InitInstance runs on the new thread; when it returns false the
// thread ends after ExitInstance, when true it pumps messages until WM_QUIT first.
#pragma once

#include <windows.h>

#include <atomic>

#include "win/scoped_handle.h"

namespace zelko {

class CDialog;

class CWinThread {
 public:
  CWinThread() = default;
  // Only closes the thread's handle: the object must outlive the thread.
  virtual ~CWinThread() = default;
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // Starts the thread. False (with the system's last error) when it cannot be started.
  bool CreateThread(int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                    DWORD createFlags = 0);

  virtual BOOL InitInstance() = 0;
  // Returns the thread's exit code.
  virtual int ExitInstance() { return 0; }

  // The window the thread runs, set by the thread itself; readable from any thread.
  CDialog* GetMainWnd() const { return mainWnd_.load(); }
  void SetMainWnd(CDialog* window) { mainWnd_ = window; }

  // The thread's handle (borrowed), null before CreateThread succeeded.
  HANDLE GetHandle() const { return thread_.get(); }

 private:
  static DWORD WINAPI ThreadMain(void* self);

  ScopedHandle thread_;
  std::atomic<CDialog*> mainWnd_{nullptr};
};

}  // namespace zelko
