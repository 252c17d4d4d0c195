#include "tools/system_message.h"

#include "win/system_message.h"

namespace zelko::pack {

std::wstring SystemMessage(DWORD code) {
  // Some calls fail without setting an error code.
  if (code == ERROR_SUCCESS) return L"the system gave no reason";
  std::wstring text = SystemMessageText(code);
  // A few system texts span lines; the packer's messages are one line each.
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  while (!text.empty() && (text.back() == L' ' || text.back() == L'.')) {
    text.pop_back();
  }
  const std::wstring number = L"error " + std::to_wstring(code);
  return text.empty() ? number : text + L" (" + number + L")";
}

}  // namespace zelko::pack
