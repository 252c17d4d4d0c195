// The resource section of an image: the stub's resources read out of it, and a new section
// laid out for the stub's resources and the installer's together, in the three-level
// directory (type, name, language) that the system's resource functions search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pe_image.h"

namespace zelko::pack {

// A type or name: a string (kept in upper case, as the system looks names up) or a number.
struct ResourceKey {
  std::wstring name;  // empty for a number
  uint16_t id = 0;

  bool operator<(const ResourceKey& other) const;
  bool operator==(const ResourceKey& other) const {
    return name == other.name && id == other.id;
  }
};

struct ResourceItem {
  ResourceKey type;
  ResourceKey name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  uint64_t size = 0;
  // The data: `bytes` when `path` is empty, else the first `size` bytes of the file at `path`,
  // read only while the installer is written.
  std::string bytes;
  std::wstring path;
};

// Reads every resource of the image `bytes` (described by `image`), data included. An image
// without resources gives none. False when the directory is damaged, with `why` a clause.
bool ReadResources(const std::string& bytes, const PeImage& image, std::vector<ResourceItem>* items,
                   std::wstring* why);

// The layout of a resource section at `sectionRva` holding `items`: the directory, data
// entries and names in `head`, and where each item's data starts in the section (in the order
// of `items`). Data follows the head, each item on an 8-byte boundary. No two items may share
// type, name and language.
struct ResourceLayout {
  std::string head;
  std::vector<uint64_t> dataOffsets;
  uint64_t size = 0;  // of the whole section's contents
};

ResourceLayout LayOutResources(const std::vector<ResourceItem>& items, uint32_t sectionRva);

}  // namespace zelko::pack
