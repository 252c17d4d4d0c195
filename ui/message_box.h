// Message boxes whose buttons carry the configuration's captions instead of the system's.
#pragma once

#include <windows.h>

namespace zelko {

// Control ids of the system message box's buttons that get configured captions.
constexpr int kOkButtonId = 2;
constexpr int kYesButtonId = 6;
constexpr int kNoButtonId = 7;

// Stores a copy of `text` as the caption for button `id` (2, 6 or 7); null or empty clears it,
// so the system's own caption is used. Other ids are ignored.
void SetButtonCaption(int id, const wchar_t* text);

// Shows a system message box of `type` and returns its result.
int ShowLocalisedMessageBox(HWND owner, const wchar_t* title, const wchar_t* text, UINT type);

}  // namespace zelko
