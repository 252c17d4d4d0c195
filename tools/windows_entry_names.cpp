#include "tools/windows_entry_names.h"

#include <set>
#include <vector>

#include "extract/entry_names.h"

namespace zelko::pack {
namespace {

bool IsForbiddenInWindowsNames(uint16_t unit) {
  if (unit < 0x20) return true;
  switch (unit) {
    case u'<': case u'>': case u'"': case u'|': case u'?': case u'*':
      return true;
    default:
      return false;
  }
}

// The name as Windows compares it: one separator, and letters in one case. Only the ASCII
// letters are folded, so two names differing in a non-ASCII letter's case pass unnoticed.
std::u16string ComparableName(const std::u16string& name) {
  std::u16string folded = name;
  for (char16_t& unit : folded) {
    if (unit == u'/') unit = u'\\';
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return folded;
}

std::wstring Shown(const std::u16string& name) { return std::wstring(name.begin(), name.end()); }

}  // namespace

bool FindUncreatableEntryName(const CSzArEx& db, std::wstring* why) {
  std::vector<std::u16string> names(db.NumFiles);
  std::set<std::u16string> folders;
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    const size_t length = GetStoredEntryName(db, i, nullptr);
    std::vector<UInt16> units(length);
    if (length != 0) GetStoredEntryName(db, i, units.data());
    std::u16string& name = names[i];
    name.assign(units.begin(), units.end() - (length != 0 ? 1 : 0));
    for (const char16_t unit : name) {
      if (!IsForbiddenInWindowsNames(unit)) continue;
      *why = L"holds the entry \"" + Shown(name) +
             L"\", a name Windows cannot give a file (< > \" | ? * and control characters are "
             L"not allowed); rename it and pack the archive again";
      return true;
    }
    const std::u16string comparable = ComparableName(name);
    if (SzArEx_IsDir(&db, i)) folders.insert(comparable);
    for (size_t at = comparable.find(u'\\'); at != std::u16string::npos;
         at = comparable.find(u'\\', at + 1)) {
      folders.insert(comparable.substr(0, at));
    }
  }
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    if (SzArEx_IsDir(&db, i) || folders.count(ComparableName(names[i])) == 0) continue;
    *why = L"holds \"" + Shown(names[i]) +
           L"\" both as a file and as a folder, and Windows cannot create both; rename one of "
           L"them and pack the archive again";
    return true;
  }
  return false;
}

}  // namespace zelko::pack
