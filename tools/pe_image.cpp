#include "tools/pe_image.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelko::pack {
namespace {

template <typename T>
T ReadAt(const std::string& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

}  // namespace

bool CheckPeImage(const std::string& bytes, std::wstring* why) {
  const wchar_t* const notProgram = L"is not a Windows program: ";
  if (bytes.size() < sizeof(IMAGE_DOS_HEADER) || ReadAt<WORD>(bytes, 0) != IMAGE_DOS_SIGNATURE) {
    *why = std::wstring(notProgram) + L"it does not start with an \"MZ\" header";
    return false;
  }
  const LONG peOffset = ReadAt<LONG>(bytes, offsetof(IMAGE_DOS_HEADER, e_lfanew));
  const uint64_t headersEnd =
      static_cast<uint64_t>(peOffset) + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
  if (peOffset < static_cast<LONG>(sizeof(IMAGE_DOS_HEADER)) || headersEnd > bytes.size()) {
    *why = std::wstring(notProgram) + L"its PE header offset (e_lfanew " +
           std::to_wstring(peOffset) + L") lies outside the file";
    return false;
  }
  if (ReadAt<DWORD>(bytes, peOffset) != IMAGE_NT_SIGNATURE) {
    *why = std::wstring(notProgram) + L"no \"PE\" signature at offset " +
           std::to_wstring(peOffset) + L" (an MS-DOS program or a damaged file)";
    return false;
  }
  const auto fileHeader = ReadAt<IMAGE_FILE_HEADER>(bytes, peOffset + sizeof(DWORD));
  const uint64_t optionalEnd = headersEnd + fileHeader.SizeOfOptionalHeader;
  if (fileHeader.SizeOfOptionalHeader < sizeof(WORD) || optionalEnd > bytes.size()) {
    *why = std::wstring(notProgram) + L"its PE optional header is missing or cut off";
    return false;
  }
  const WORD magic = ReadAt<WORD>(bytes, static_cast<size_t>(headersEnd));
  if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    *why = std::wstring(notProgram) + L"its PE optional header is neither PE32 nor PE32+";
    return false;
  }
  return true;
}

size_t PeChecksumOffset(const std::string& bytes) {
  const LONG peOffset = ReadAt<LONG>(bytes, offsetof(IMAGE_DOS_HEADER, e_lfanew));
  // The field sits at the same place in PE32 and PE32+ headers.
  static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum) ==
                offsetof(IMAGE_OPTIONAL_HEADER64, CheckSum));
  return static_cast<size_t>(peOffset) + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) +
         offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum);
}

uint32_t ComputePeChecksum(const std::string& bytes, size_t checksumOffset) {
  // A ones'-complement style sum of 16-bit little-endian words, carries folded back in,
  // plus the file's length.
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  auto byteAt = [&](size_t i) -> uint32_t {
    const bool inField = i >= checksumOffset && i - checksumOffset < sizeof(DWORD);
    return i < bytes.size() && !inField ? data[i] : 0;
  };
  uint64_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    sum += byteAt(i) | (byteAt(i + 1) << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + bytes.size());
}

}  // namespace zelko::pack
