#include "extract/entry_names.h"

namespace zelko {
namespace {

bool IsSeparator(uint16_t c) { return c == '/' || c == '\\'; }

uint16_t ToUpperAscii(uint16_t c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

bool EqualsAsciiNoCase(const uint16_t* text, size_t length, const char* ascii) {
  size_t i = 0;
  for (; i < length && ascii[i] != '\0'; ++i) {
    if (ToUpperAscii(text[i]) != static_cast<uint16_t>(ascii[i])) return false;
  }
  return i == length && ascii[i] == '\0';
}

// Windows maps these names to devices in any folder and with any extension.
bool IsDeviceName(const uint16_t* component, size_t length) {
  size_t base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kNames) {
    if (EqualsAsciiNoCase(component, base, device)) return true;
  }
  if (base == 4 && component[3] >= '1' && component[3] <= '9' &&
      (EqualsAsciiNoCase(component, 3, "COM") || EqualsAsciiNoCase(component, 3, "LPT"))) {
    return true;
  }
  return false;
}

bool IsSafeComponent(const uint16_t* component, size_t length) {
  if (length == 0) return false;
  if (length == 1 && component[0] == '.') return false;
  if (length == 2 && component[0] == '.' && component[1] == '.') return false;
  const uint16_t last = component[length - 1];
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(component, length);
}

}  // namespace

bool IsSafeEntryName(const uint16_t* name, size_t length) {
  if (length == 0 || IsSeparator(name[0])) return false;
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && name[i] == ':') return false;
    if (i < length && name[i] == 0) return false;
    if (i == length || IsSeparator(name[i])) {
      if (!IsSafeComponent(name + start, i - start)) return false;
      start = i + 1;
    }
  }
  return true;
}

size_t GetStoredEntryName(const CSzArEx& db, size_t index, UInt16* dest) {
  if (db.FileNameOffsets == nullptr) return 0;
  return SzArEx_GetFileNameUtf16(&db, index, dest);
}

bool FindRefusedEntryName(const CSzArEx& db, std::vector<uint16_t>* name) {
  for (size_t i = 0; i < db.NumFiles; ++i) {
    name->resize(GetStoredEntryName(db, i, nullptr));
    GetStoredEntryName(db, i, name->data());
    if (!name->empty()) name->pop_back();  // the terminating zero
    if (!IsSafeEntryName(name->data(), name->size())) return true;
  }
  return false;
}

}  // namespace zelko
