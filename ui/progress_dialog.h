// The progress dialog, run modally on its own user-interface thread.
#pragma once

#include <windows.h>

namespace zelko {

class CZelkoSelfExtractorDlg {
 public:
  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  HWND m_hWnd = nullptr;
};

}  // namespace zelko
