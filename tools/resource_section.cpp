#include "tools/resource_section.h"

#include <algorithm>
#include <map>
#include <set>

namespace zelko::pack {
namespace {

constexpr size_t kTableSize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint64_t kDataAlignment = 8;

// Reads the directory at `rva` of the section that holds it.
class DirectoryReader {
 public:
  DirectoryReader(const std::string& bytes, const PeImage& image, uint32_t rootRva)
      : bytes_(bytes), image_(image), rootRva_(rootRva) {}

  bool Read(std::vector<ResourceItem>* items, std::wstring* why) {
    return ReadTable(0, 0, ResourceItem(), items, why);
  }

 private:
  // The file offset of `length` bytes at `rva`, or false when they are not in the file.
  bool FileOffset(uint64_t rva, uint64_t length, size_t* offset) const {
    if (rva > 0xFFFFFFFFu) return false;
    const PeSection* section = image_.SectionAt(static_cast<uint32_t>(rva));
    if (section == nullptr) return false;
    const uint64_t within = rva - section->virtualAddress;
    if (within + length > section->sizeOfRawData) return false;
    *offset = static_cast<size_t>(section->pointerToRawData + within);
    return true;
  }

  bool Damaged(std::wstring* why) const {
    *why = L"has a damaged resource directory";
    return false;
  }

  bool ReadKey(uint32_t field, ResourceKey* key, std::wstring* why) const {
    if (!(field & kHighBit)) {
      key->id = static_cast<uint16_t>(field);
      return field <= 0xFFFF || Damaged(why);
    }
    size_t at = 0;
    if (!FileOffset(uint64_t{rootRva_} + (field & ~kHighBit), 2, &at)) return Damaged(why);
    const uint32_t length = ReadLe(bytes_, at, 2);
    if (length == 0 || !FileOffset(uint64_t{rootRva_} + (field & ~kHighBit), 2 + 2 * length, &at)) {
      return Damaged(why);
    }
    for (uint32_t i = 0; i < length; ++i) {
      key->name.push_back(static_cast<wchar_t>(ReadLe(bytes_, at + 2 + 2 * i, 2)));
    }
    return true;
  }

  bool ReadTable(uint32_t offset, int level, const ResourceItem& partial,
                 std::vector<ResourceItem>* items, std::wstring* why) {
    size_t at = 0;
    if (!visited_.insert(offset).second || !FileOffset(uint64_t{rootRva_} + offset, kTableSize, &at)) {
      return Damaged(why);
    }
    const uint32_t count = ReadLe(bytes_, at + 12, 2) + ReadLe(bytes_, at + 14, 2);
    if (!FileOffset(uint64_t{rootRva_} + offset, kTableSize + uint64_t{count} * kEntrySize, &at)) {
      return Damaged(why);
    }
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = at + kTableSize + i * kEntrySize;
      const uint32_t nameField = ReadLe(bytes_, entry, 4);
      const uint32_t target = ReadLe(bytes_, entry + 4, 4);
      ResourceItem item = partial;
      ResourceKey key;
      if (level < 2 && !ReadKey(nameField, &key, why)) return false;
      if (level == 0) item.type = key;
      if (level == 1) item.name = key;
      if (level == 2) item.language = static_cast<uint16_t>(nameField);
      const bool isTable = (target & kHighBit) != 0;
      if (isTable != (level < 2)) return Damaged(why);
      if (isTable) {
        if (!ReadTable(target & ~kHighBit, level + 1, item, items, why)) return false;
        continue;
      }
      size_t dataEntry = 0;
      if (!FileOffset(uint64_t{rootRva_} + target, kDataEntrySize, &dataEntry)) return Damaged(why);
      const uint32_t dataRva = ReadLe(bytes_, dataEntry, 4);
      item.size = ReadLe(bytes_, dataEntry + 4, 4);
      item.codePage = ReadLe(bytes_, dataEntry + 8, 4);
      size_t data = 0;
      if (!FileOffset(dataRva, item.size, &data)) return Damaged(why);
      item.bytes = bytes_.substr(data, static_cast<size_t>(item.size));
      items->push_back(std::move(item));
    }
    return true;
  }

  const std::string& bytes_;
  const PeImage& image_;
  const uint32_t rootRva_;
  std::set<uint32_t> visited_;  // a table that refers back to itself is damage, not a loop
};

void PutTable(std::string* head, size_t at, size_t named, size_t numbered) {
  WriteLe(head, at + 12, 2, named);
  WriteLe(head, at + 14, 2, numbered);
}

}  // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
  // Names before numbers; names in the order of their UTF-16 units, numbers ascending: the
  // system searches each table by halves in this order.
  const bool named = !name.empty();
  const bool otherNamed = !other.name.empty();
  if (named != otherNamed) return named;
  if (named) {
    return std::lexicographical_compare(
        name.begin(), name.end(), other.name.begin(), other.name.end(),
        [](wchar_t a, wchar_t b) { return (a & 0xFFFF) < (b & 0xFFFF); });
  }
  return id < other.id;
}

bool ReadResources(const std::string& bytes, const PeImage& image, std::vector<ResourceItem>* items,
                   std::wstring* why) {
  items->clear();
  if (image.directories.size() <= kResourceDirectory ||
      image.directories[kResourceDirectory].rva == 0) {
    return true;
  }
  return DirectoryReader(bytes, image, image.directories[kResourceDirectory].rva).Read(items, why);
}

ResourceLayout LayOutResources(const std::vector<ResourceItem>& items, uint32_t sectionRva) {
  // type -> name -> language -> index in `items`
  std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, size_t>>> tree;
  for (size_t i = 0; i < items.size(); ++i) {
    tree[items[i].type][items[i].name][items[i].language] = i;
  }
  // Tables first (root, then every type's, then every name's), then the data entries, then
  // the names, then the data.
  size_t tablesSize = kTableSize + tree.size() * kEntrySize;
  for (const auto& [type, names] : tree) {
    tablesSize += kTableSize + names.size() * kEntrySize;
    for (const auto& [name, languages] : names) {
      tablesSize += kTableSize + languages.size() * kEntrySize;
    }
  }
  const size_t dataEntriesAt = tablesSize;
  size_t stringsSize = 0;
  for (const auto& [type, names] : tree) {
    stringsSize += type.name.empty() ? 0 : 2 + 2 * type.name.size();
    for (const auto& [name, languages] : names) {
      stringsSize += name.name.empty() ? 0 : 2 + 2 * name.name.size();
    }
  }
  const size_t stringsAt = dataEntriesAt + items.size() * kDataEntrySize;
  ResourceLayout layout;
  layout.head.assign(static_cast<size_t>(AlignUp(stringsAt + stringsSize, kDataAlignment)), '\0');
  layout.dataOffsets.assign(items.size(), 0);

  uint64_t dataAt = layout.head.size();
  for (size_t i = 0; i < items.size(); ++i) {
    layout.dataOffsets[i] = dataAt;
    dataAt = AlignUp(dataAt + items[i].size, kDataAlignment);
  }
  layout.size = items.empty() ? layout.head.size()
                              : layout.dataOffsets.back() + items.back().size;

  std::string& head = layout.head;
  size_t nextString = stringsAt;
  auto keyField = [&](const ResourceKey& key) -> uint32_t {
    if (key.name.empty()) return key.id;
    const size_t at = nextString;
    WriteLe(&head, at, 2, key.name.size());
    for (size_t k = 0; k < key.name.size(); ++k) WriteLe(&head, at + 2 + 2 * k, 2, key.name[k] & 0xFFFF);
    nextString += 2 + 2 * key.name.size();
    return kHighBit | static_cast<uint32_t>(at);
  };
  auto namedCount = [](const auto& table) {
    size_t named = 0;
    for (const auto& entry : table) named += entry.first.name.empty() ? 0 : 1;
    return named;
  };

  PutTable(&head, 0, namedCount(tree), tree.size() - namedCount(tree));
  size_t nextTable = kTableSize + tree.size() * kEntrySize;
  size_t nextNameTable = nextTable;
  for (const auto& [type, names] : tree) nextNameTable += kTableSize + names.size() * kEntrySize;
  size_t rootEntry = kTableSize;
  size_t nextDataEntry = dataEntriesAt;
  for (const auto& [type, names] : tree) {
    const size_t typeTable = nextTable;
    nextTable += kTableSize + names.size() * kEntrySize;
    WriteLe(&head, rootEntry, 4, keyField(type));
    WriteLe(&head, rootEntry + 4, 4, kHighBit | typeTable);
    rootEntry += kEntrySize;
    PutTable(&head, typeTable, namedCount(names), names.size() - namedCount(names));
    size_t typeEntry = typeTable + kTableSize;
    for (const auto& [name, languages] : names) {
      const size_t nameTable = nextNameTable;
      nextNameTable += kTableSize + languages.size() * kEntrySize;
      WriteLe(&head, typeEntry, 4, keyField(name));
      WriteLe(&head, typeEntry + 4, 4, kHighBit | nameTable);
      typeEntry += kEntrySize;
      PutTable(&head, nameTable, 0, languages.size());
      size_t nameEntry = nameTable + kTableSize;
      for (const auto& [language, index] : languages) {
        WriteLe(&head, nameEntry, 4, language);
        WriteLe(&head, nameEntry + 4, 4, nextDataEntry);
        nameEntry += kEntrySize;
        WriteLe(&head, nextDataEntry, 4, sectionRva + layout.dataOffsets[index]);
        WriteLe(&head, nextDataEntry + 4, 4, items[index].size);
        WriteLe(&head, nextDataEntry + 8, 4, items[index].codePage);
        nextDataEntry += kDataEntrySize;
      }
    }
  }
  return layout;
}

}  // namespace zelko::pack
