// A modal dialog over a dialog template of the program's own resources. Subclasses handle
// their messages in OnMessage; everything they leave falls to the system's dialog handling.
#pragma once

#include <windows.h>

#include <atomic>

namespace zelko {

class CDialog {
 public:
  explicit CDialog(UINT templateId) : templateId_(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the dialog and runs its modal loop on the calling thread until EndDialog.
  // Returns the result given to EndDialog, or -1 when the dialog cannot be created.
  INT_PTR DoModal(HWND parent = nullptr);
  // Before DoModal: lays the dialog out right to left, mirrored as a whole (WS_EX_LAYOUTRTL),
  // for a user who reads right to left.
  void SetRightToLeftLayout(bool mirrored) { bMirrored_ = mirrored; }
  // Ends the modal loop once the current message has been handled.
  void EndDialog(INT_PTR result);

  // The dialog's window while it exists, else null. Safe to call from any thread.
  HWND GetSafeHwnd() const { return hwnd_.load(); }
  // The control `id` of the dialog, or null.
  HWND GetDlgItem(int id) const;

 protected:
  // Called once the controls exist. True lets the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Handles `message`; returns true when handled, with the dialog procedure's result in
  // `result` (the message's own result for those a dialog procedure returns directly).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    return false;
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  const UINT templateId_;
  bool bMirrored_ = false;
  // Written by the dialog's thread, read by the others (progress, hiding, ending).
  std::atomic<HWND> hwnd_{nullptr};
};

}  // namespace zelko
