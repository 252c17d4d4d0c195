// Interim: plain system message boxes. The captions are recorded but not yet applied; the
// localised boxes replace this file.
#include "ui/message_box.h"

namespace zelko {

void SetButtonCaption(int id, const wchar_t* text) {}

int ShowLocalisedMessageBox(HWND owner, const wchar_t* title, const wchar_t* text, UINT type) {
  return ::MessageBoxW(owner, text, title, type);
}

}  // namespace zelko
