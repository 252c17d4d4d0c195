// The application base: one object per process, whose InitInstance runs on the main thread
// and whose ExitInstance gives the process exit code. There is no message loop on the main
// thread: when InitInstance returns false the process ends with what ExitInstance returns.
#pragma once

#include <windows.h>

namespace zelko {

class CWinAppBase {
 public:
  CWinAppBase() = default;
  virtual ~CWinAppBase() = default;
  CWinAppBase(const CWinAppBase&) = delete;
  CWinAppBase& operator=(const CWinAppBase&) = delete;

  // Returns false to end the process without a message loop.
  virtual BOOL InitInstance() = 0;
  // Returns the process exit code.
  virtual int ExitInstance();

  // Drives the application from the program's entry point and returns the exit code.
  int Run(HINSTANCE instance, const wchar_t* commandTail);

  HINSTANCE m_hInstance = nullptr;
  // The process command line without the program name.
  const wchar_t* m_lpCmdLine = L"";

 protected:
  // The toolkit's own start-up work, done from InitInstance before the run needs windows.
  void InitApplication();
};

}  // namespace zelko
