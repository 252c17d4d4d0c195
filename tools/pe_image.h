// The parts of a PE image (PE32 or PE32+) that the packer reads and rewrites: the headers,
// the section table and the data directories. Plain C++ on the file's bytes, so the packer
// works the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelko::pack {

// Little-endian numbers in a byte string; the caller keeps offsets inside it.
uint32_t ReadLe(const std::string& bytes, size_t offset, size_t width);
void WriteLe(std::string* bytes, size_t offset, size_t width, uint64_t value);

constexpr uint32_t kScnInitializedData = 0x00000040;
constexpr uint32_t kScnMemDiscardable = 0x02000000;

struct PeSection {
  std::string name;  // up to 8 characters
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeOfRawData = 0;
  uint32_t pointerToRawData = 0;
  uint32_t characteristics = 0;
  size_t headerOffset = 0;  // of this section's entry in the section table
};

struct PeDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// Indexes of the data directories the packer looks at.
constexpr size_t kSecurityDirectory = 4;  // a file offset, not an RVA: the signature
constexpr size_t kResourceDirectory = 2;
constexpr size_t kBaseRelocationDirectory = 5;

struct PeImage {
  bool is64 = false;  // PE32+
  size_t fileHeaderOffset = 0;
  size_t optionalHeaderOffset = 0;
  size_t sectionTableOffset = 0;
  size_t dataDirectoryOffset = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfInitializedData = 0;
  std::vector<PeDirectory> directories;
  std::vector<PeSection> sections;

  // Offsets of header fields in the file.
  size_t ChecksumOffset() const { return optionalHeaderOffset + 64; }
  size_t SizeOfImageOffset() const { return optionalHeaderOffset + 56; }
  size_t SizeOfInitializedDataOffset() const { return optionalHeaderOffset + 8; }
  size_t DirectoryOffset(size_t index) const { return dataDirectoryOffset + index * 8; }

  // The section that holds `rva`, or nullptr.
  const PeSection* SectionAt(uint32_t rva) const;
};

// Reads the headers of `bytes`. False when they are not those of a PE image whose sections
// lie inside the file, with the reason in `why`: a clause such as "is not a Windows program:
// ..." that follows the name of the file's role.
bool ReadPeImage(const std::string& bytes, PeImage* image, std::wstring* why);

// The image checksum, summed as bytes go by: 16-bit little-endian words added with their
// carries folded back in, plus the file's length. The checksum field itself must go by as
// zeros.
class PeChecksum {
 public:
  void Add(const void* data, size_t size);
  uint32_t Value() const;

 private:
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
  int pendingLow_ = -1;  // the low byte of a word whose high byte is still to come
};

// Rounds `value` up to a multiple of `alignment` (a power of two).
constexpr uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

}  // namespace zelko::pack
