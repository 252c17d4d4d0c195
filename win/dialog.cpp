#include "win/dialog.h"

namespace zelko {

INT_PTR CDialog::DoModal(HWND parent) {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
  if (HWND window = GetSafeHwnd()) ::EndDialog(window, result);
}

HWND CDialog::GetDlgItem(int id) const {
  HWND window = GetSafeHwnd();
  return window != nullptr ? ::GetDlgItem(window, id) : nullptr;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->hwnd_ = window;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
  if (message == WM_NCDESTROY) {
    self->hwnd_ = nullptr;
    return FALSE;
  }
  INT_PTR result = 0;
  if (!self->OnMessage(message, wParam, lParam, result)) return FALSE;
  switch (message) {
    // These return their result from the dialog procedure itself.
    case WM_CHARTOITEM: case WM_COMPAREITEM: case WM_CTLCOLORBTN: case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: case WM_QUERYDRAGICON: case WM_VKEYTOITEM:
      return result;
    default:
      ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

}  // namespace zelko
