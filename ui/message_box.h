// Message boxes whose buttons carry the configuration's captions instead of the system's.
// The box is shown as usual while a short caption thread finds it and renames its buttons.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

namespace zelko {

// Control ids of the system message box's buttons that get configured captions.
constexpr int kOkButtonId = 2;
constexpr int kYesButtonId = 6;
constexpr int kNoButtonId = 7;

// The configured captions and the box shown last. One record per process (theMessageBox).
// The main thread and the dialog's thread may each show a box at the same time (an error at
// the end of the run while the cancel question is open), so each box's caption thread works
// from a search of its own and only reads the captions here, which are set before any box.
struct mbData {
  HWND hwndOwner = nullptr;
  const wchar_t* text = nullptr;     // borrowed from the caller while the box is shown
  const wchar_t* caption = nullptr;  // borrowed; the box's title, by which it is found
  std::unique_ptr<wchar_t[]> okCaption;   // null: the system's caption stays
  std::unique_ptr<wchar_t[]> noCaption;
  std::unique_ptr<wchar_t[]> yesCaption;
  std::atomic<HWND> hwndBox{nullptr};  // the box once found; cleared before each box
  // The texts are in a language written right to left: every box reads right to left and
  // is aligned to the right (MB_RTLREADING | MB_RIGHT). Set with the captions.
  bool bRightToLeft = false;
};

extern mbData theMessageBox;

// Stores a copy of `text` as the caption for button `id` (2, 6 or 7); null or empty clears it,
// so the system's own caption is used. Other ids are ignored.
void SetButtonCaption(int id, const wchar_t* text);

// Makes every later box read right to left (the run's texts are in such a language), or not.
void SetMessageBoxRightToLeft(bool rightToLeft);

// Shows a system message box of `type` (MessageBoxW) with the configured captions on its
// buttons, right to left when so set, and returns its result.
int ShowLocalisedMessageBox(HWND owner, const wchar_t* title, const wchar_t* text, UINT type);

}  // namespace zelko
