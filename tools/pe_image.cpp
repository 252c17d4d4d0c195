#include "tools/pe_image.h"

#include <algorithm>

namespace zelko::pack {
namespace {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kLfanewOffset = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kPe32Magic = 0x10B;
constexpr uint32_t kPe32PlusMagic = 0x20B;

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

uint32_t ReadLe(const std::string& bytes, size_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return value;
}

void WriteLe(std::string* bytes, size_t offset, size_t width, uint64_t value) {
  for (size_t i = 0; i < width; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

const PeSection* PeImage::SectionAt(uint32_t rva) const {
  for (const PeSection& section : sections) {
    const uint32_t extent = std::max(section.virtualSize, section.sizeOfRawData);
    if (rva >= section.virtualAddress && rva - section.virtualAddress < extent) return &section;
  }
  return nullptr;
}

bool ReadPeImage(const std::string& bytes, PeImage* image, std::wstring* why) {
  const std::wstring notProgram = L"is not a Windows program: ";
  auto fail = [&](const std::wstring& reason) {
    *why = notProgram + reason;
    return false;
  };
  if (bytes.size() < kDosHeaderSize || bytes.compare(0, 2, "MZ") != 0) {
    return fail(L"it does not start with an \"MZ\" header");
  }
  const auto peOffset = static_cast<int32_t>(ReadLe(bytes, kLfanewOffset, 4));
  const uint64_t fileHeaderOffset = static_cast<uint64_t>(peOffset) + 4;
  if (peOffset < static_cast<int32_t>(kDosHeaderSize) ||
      fileHeaderOffset + kFileHeaderSize > bytes.size()) {
    return fail(L"its PE header offset (e_lfanew " + std::to_wstring(peOffset) +
                L") lies outside the file");
  }
  if (bytes.compare(static_cast<size_t>(peOffset), 4, std::string("PE\0\0", 4)) != 0) {
    return fail(L"no \"PE\" signature at offset " + std::to_wstring(peOffset) +
                L" (an MS-DOS program or a damaged file)");
  }
  PeImage result;
  result.fileHeaderOffset = static_cast<size_t>(fileHeaderOffset);
  const uint32_t sectionCount = ReadLe(bytes, result.fileHeaderOffset + 2, 2);
  const uint32_t optionalSize = ReadLe(bytes, result.fileHeaderOffset + 16, 2);
  result.optionalHeaderOffset = result.fileHeaderOffset + kFileHeaderSize;
  result.sectionTableOffset = result.optionalHeaderOffset + optionalSize;
  if (optionalSize < 2 || result.sectionTableOffset > bytes.size()) {
    return fail(L"its PE optional header is missing or cut off");
  }
  const uint32_t magic = ReadLe(bytes, result.optionalHeaderOffset, 2);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    return fail(L"its PE optional header is neither PE32 nor PE32+");
  }
  result.is64 = magic == kPe32PlusMagic;
  const size_t countOffset = result.is64 ? 108 : 92;
  result.dataDirectoryOffset = countOffset + 4 + result.optionalHeaderOffset;
  if (optionalSize < countOffset + 4) return fail(L"its PE optional header is cut off");
  const uint32_t directoryCount = ReadLe(bytes, result.optionalHeaderOffset + countOffset, 4);
  if (directoryCount > 16 || result.dataDirectoryOffset + directoryCount * 8 > result.sectionTableOffset) {
    return fail(L"its data directories do not fit in its optional header");
  }
  const size_t o = result.optionalHeaderOffset;
  result.sectionAlignment = ReadLe(bytes, o + 32, 4);
  result.fileAlignment = ReadLe(bytes, o + 36, 4);
  result.sizeOfImage = ReadLe(bytes, o + 56, 4);
  result.sizeOfHeaders = ReadLe(bytes, o + 60, 4);
  result.sizeOfInitializedData = ReadLe(bytes, o + 8, 4);
  if (!IsPowerOfTwo(result.sectionAlignment) || !IsPowerOfTwo(result.fileAlignment)) {
    return fail(L"its section or file alignment is not a power of two");
  }
  for (uint32_t i = 0; i < directoryCount; ++i) {
    result.directories.push_back(
        {ReadLe(bytes, result.DirectoryOffset(i), 4), ReadLe(bytes, result.DirectoryOffset(i) + 4, 4)});
  }
  const uint64_t tableEnd = result.sectionTableOffset + uint64_t{sectionCount} * kSectionHeaderSize;
  if (tableEnd > bytes.size() || tableEnd > result.sizeOfHeaders) {
    return fail(L"its section table is cut off");
  }
  for (uint32_t i = 0; i < sectionCount; ++i) {
    PeSection section;
    section.headerOffset = result.sectionTableOffset + i * kSectionHeaderSize;
    const size_t h = section.headerOffset;
    section.name = bytes.substr(h, 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    section.virtualSize = ReadLe(bytes, h + 8, 4);
    section.virtualAddress = ReadLe(bytes, h + 12, 4);
    section.sizeOfRawData = ReadLe(bytes, h + 16, 4);
    section.pointerToRawData = ReadLe(bytes, h + 20, 4);
    section.characteristics = ReadLe(bytes, h + 36, 4);
    if (uint64_t{section.pointerToRawData} + section.sizeOfRawData > bytes.size()) {
      return fail(L"its section " + std::wstring(section.name.begin(), section.name.end()) +
                  L" lies outside the file");
    }
    result.sections.push_back(section);
  }
  *image = std::move(result);
  return true;
}

void PeChecksum::Add(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  length_ += size;
  size_t i = 0;
  if (pendingLow_ >= 0 && size > 0) {
    sum_ += static_cast<uint32_t>(pendingLow_) | (uint32_t{bytes[0]} << 8);
    pendingLow_ = -1;
    i = 1;
  }
  // Folding the carries once per block gives the same sum as folding once per word (both
  // keep it modulo 0xFFFF, and neither turns a non-zero sum into zero); 64 bits hold the
  // unfolded words of any block.
  for (; i + 1 < size; i += 2) sum_ += bytes[i] | (uint32_t{bytes[i + 1]} << 8);
  if (i < size) pendingLow_ = bytes[i];
  while (sum_ > 0xFFFF) sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

uint32_t PeChecksum::Value() const {
  uint64_t sum = sum_;
  if (pendingLow_ >= 0) sum += static_cast<uint32_t>(pendingLow_);  // a last odd byte
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length_);
}

}  // namespace zelko::pack
