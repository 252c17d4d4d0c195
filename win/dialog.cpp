#include "win/dialog.h"

#include <cstring>
#include <vector>

namespace zelko {
namespace {

// A copy of dialog template `id` with WS_EX_LAYOUTRTL added to its extended style, as a
// template written for a right-to-left language has it: the dialog and all its controls are
// then laid out mirrored. Empty when the template cannot be found.
std::vector<unsigned char> MirroredTemplate(HMODULE module, UINT id) {
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  const DWORD size = found != nullptr ? ::SizeofResource(module, found) : 0;
  constexpr size_t kHeaderSize = 12;  // both forms hold the extended style in their first 12 bytes
  if (data == nullptr || size < kHeaderSize) return {};
  std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                  static_cast<const unsigned char*>(data) + size);
  WORD version = 0;
  WORD signature = 0;
  std::memcpy(&version, copy.data(), sizeof(version));
  std::memcpy(&signature, copy.data() + 2, sizeof(signature));
  // DLGTEMPLATEEX (version 1, signature 0xFFFF) keeps it at offset 8, DLGTEMPLATE at 4.
  const size_t offset = version == 1 && signature == 0xFFFF ? 8 : 4;
  DWORD exStyle = 0;
  std::memcpy(&exStyle, copy.data() + offset, sizeof(exStyle));
  exStyle |= WS_EX_LAYOUTRTL;
  std::memcpy(copy.data() + offset, &exStyle, sizeof(exStyle));
  return copy;
}

}  // namespace

INT_PTR CDialog::DoModal(HWND parent) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  const LPARAM self = reinterpret_cast<LPARAM>(this);
  if (bMirrored_) {
    // Kept alive until the dialog has ended, as the system reads the template while creating it.
    const std::vector<unsigned char> mirrored = MirroredTemplate(module, templateId_);
    if (!mirrored.empty()) {
      return ::DialogBoxIndirectParamW(
          module, reinterpret_cast<LPCDLGTEMPLATEW>(mirrored.data()), parent, DialogProc, self);
    }
  }
  return ::DialogBoxParamW(module, MAKEINTRESOURCEW(templateId_), parent, DialogProc, self);
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
