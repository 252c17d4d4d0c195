#include "win/app_base.h"

#include <commctrl.h>

namespace zelko {

int CWinAppBase::ExitInstance() { return 0; }

void CWinAppBase::InitApplication() {
  // Registers the common control classes (the progress bar among them) with visual styles.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
}

int CWinAppBase::Run(HINSTANCE instance, const wchar_t* commandTail) {
  m_hInstance = instance;
  m_lpCmdLine = commandTail != nullptr ? commandTail : L"";
  // Applications of this toolkit do all their work in InitInstance; there is no message
  // loop to enter whatever it returns.
  InitInstance();
  return ExitInstance();
}

}  // namespace zelko
