#include "tools/installer_writer.h"

#include <algorithm>
#include <utility>

#include "resources/payload_resources.h"
#include "tools/ini_text.h"
#include "tools/pack_files.h"

namespace zelko::pack {
namespace {

// Archive data goes from its file to the installer in pieces of this size.
constexpr size_t kCopyChunk = 1 << 20;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// "1,234,567" for 1234567: sizes near the limit are read by people.
std::wstring Grouped(uint64_t value) {
  std::wstring digits = std::to_wstring(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
  return digits;
}

uint64_t SectionEnd(const PeSection& section, uint32_t sectionAlignment) {
  const uint32_t size = section.virtualSize != 0 ? section.virtualSize : section.sizeOfRawData;
  return AlignUp(uint64_t{section.virtualAddress} + size, sectionAlignment);
}

// Writes the installer's bytes and sums its checksum as they go by.
class ChecksummedOutput {
 public:
  explicit ChecksummedOutput(OutputFile& file) : file_(file) {}

  bool Write(const void* data, size_t size, std::wstring* cause) {
    checksum_.Add(data, size);
    return file_.Write(data, size, cause);
  }
  bool Zeros(uint64_t count, std::wstring* cause) {
    static const char kZeros[4096] = {};
    while (count > 0) {
      const size_t size = static_cast<size_t>(std::min<uint64_t>(count, sizeof(kZeros)));
      if (!Write(kZeros, size, cause)) return false;
      count -= size;
    }
    return true;
  }
  uint32_t checksum() const { return checksum_.Value(); }

 private:
  OutputFile& file_;
  PeChecksum checksum_;
};

// Copies the data of `item` (from memory, or from its file in chunks) to `out`.
bool WriteItemData(const ResourceItem& item, ChecksummedOutput& out, std::vector<char>& buffer,
                   std::wstring* error, std::wstring* cause) {
  if (item.path.empty()) return out.Write(item.bytes.data(), item.bytes.size(), cause);
  InputFile file;
  std::wstring why;
  if (!file.Open(item.path, &why) || file.size() != item.size) {
    *error = item.path + L": cannot read it again while the installer is written: " +
             (why.empty() ? L"its size changed since it was checked" : why);
    return false;
  }
  buffer.resize(kCopyChunk);
  for (uint64_t offset = 0; offset < item.size;) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(item.size - offset, buffer.size()));
    if (!file.ReadAt(offset, buffer.data(), size, &why)) {
      *error = item.path + L": cannot read it again while the installer is written: " + why;
      return false;
    }
    if (!out.Write(buffer.data(), size, cause)) return false;
    offset += size;
  }
  return true;
}

}  // namespace

bool IsInstallerResourceType(const std::wstring& type) {
  if (SameIniName(type, kConfigResourceType) || SameIniName(type, kArchiveResourceType) ||
      SameIniName(type, kRdcArchiveResourceType)) {
    return true;
  }
  const std::wstring prefix = kFileResourceTypePrefix;
  if (type.size() <= prefix.size() || !SameIniName(type.substr(0, prefix.size()), prefix)) {
    return false;
  }
  return std::all_of(type.begin() + static_cast<std::ptrdiff_t>(prefix.size()), type.end(),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

bool ReadStub(std::string bytes, Stub* stub, std::wstring* why) {
  Stub result;
  result.bytes = std::move(bytes);
  if (!ReadPeImage(result.bytes, &result.image, why)) return false;
  const PeImage& image = result.image;
  if (image.directories.size() > kSecurityDirectory &&
      image.directories[kSecurityDirectory].size != 0) {
    *why = L"is signed; pack the unsigned stub and sign the installer afterwards (a signature "
           L"cannot cover resources added after it)";
    return false;
  }
  if (!ReadResources(result.bytes, image, &result.resources, why)) return false;
  for (const ResourceItem& item : result.resources) {
    if (!item.type.name.empty() && IsInstallerResourceType(item.type.name)) {
      *why = L"already holds installer resources (" + item.type.name +
             L"); build from the bare stub";
      return false;
    }
  }
  const uint32_t resourceRva =
      image.directories.size() > kResourceDirectory ? image.directories[kResourceDirectory].rva : 0;
  auto section = std::find_if(image.sections.begin(), image.sections.end(),
                              [&](const PeSection& s) { return s.virtualAddress == resourceRva; });
  if (resourceRva == 0 || section == image.sections.end()) {
    *why = L"has no resource section of its own (a stub carries its icon and manifest there)";
    return false;
  }
  result.resourceSection = static_cast<size_t>(section - image.sections.begin());
  const uint64_t resourceFileEnd = uint64_t{section->pointerToRawData} + section->sizeOfRawData;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const PeSection& other = image.sections[i];
    const bool after = i > result.resourceSection;
    // What follows the resources moves: only sections that nothing addresses while the
    // program runs (relocations, debug data) can. What precedes them stays where it is.
    const bool fileOrderHolds =
        other.sizeOfRawData == 0 ||
        (after ? other.pointerToRawData >= resourceFileEnd
               : i == result.resourceSection ||
                     uint64_t{other.pointerToRawData} + other.sizeOfRawData <= section->pointerToRawData);
    if (!fileOrderHolds || (after && (!(other.characteristics & kScnMemDiscardable) ||
                                      other.virtualAddress < section->virtualAddress))) {
      *why = L"has section " + Wide(other.name) +
             L" in a place the packer cannot move it from (only discardable sections may "
             L"follow the resources)";
      return false;
    }
  }
  if (image.sizeOfHeaders > section->pointerToRawData) {
    *why = L"has its resources inside its headers";
    return false;
  }
  *stub = std::move(result);
  return true;
}

bool PlanInstaller(const Stub& stub, std::vector<ResourceItem> added, InstallerPlan* plan,
                   std::wstring* why) {
  const PeImage& image = stub.image;
  const PeSection& resources = image.sections[stub.resourceSection];
  InstallerPlan result;
  result.stub = &stub;
  result.items = stub.resources;
  uint64_t addedBytes = 0;
  for (ResourceItem& item : added) {
    addedBytes += item.size;
    result.items.push_back(std::move(item));
  }
  result.layout = LayOutResources(result.items, resources.virtualAddress);
  const uint64_t rawSize = AlignUp(result.layout.size, image.fileAlignment);
  const uint64_t resourcesEnd =
      AlignUp(uint64_t{resources.virtualAddress} + result.layout.size, image.sectionAlignment);
  // Everything after the resource section moves by the same amount, in memory and in the file.
  const bool anyAfter = stub.resourceSection + 1 < image.sections.size();
  const int64_t memoryShift =
      anyAfter ? static_cast<int64_t>(resourcesEnd) -
                     static_cast<int64_t>(image.sections[stub.resourceSection + 1].virtualAddress)
               : 0;
  const int64_t fileShift = static_cast<int64_t>(rawSize) - static_cast<int64_t>(resources.sizeOfRawData);
  // The image ends where the moved sections end: the resources' end plus their extent.
  uint64_t movedExtent = 0;
  for (size_t i = stub.resourceSection + 1; i < image.sections.size(); ++i) {
    movedExtent = std::max<uint64_t>(
        movedExtent, SectionEnd(image.sections[i], image.sectionAlignment) -
                         image.sections[stub.resourceSection + 1].virtualAddress);
  }
  uint64_t imageSize = resourcesEnd + movedExtent;
  for (size_t i = 0; i < stub.resourceSection; ++i) {
    imageSize = std::max(imageSize, SectionEnd(image.sections[i], image.sectionAlignment));
  }
  if (imageSize >= kImageSizeLimit) {
    // The largest section contents that keep the image below the limit, once aligned.
    const uint64_t room = kImageSizeLimit - image.sectionAlignment - movedExtent;
    const uint64_t largest = room > resources.virtualAddress ? room - resources.virtualAddress : 0;
    const uint64_t excess = result.layout.size - std::min(largest, result.layout.size);
    *why = L"the installer would take " + Grouped(imageSize) +
           L" bytes in memory, and Windows loads programs only below " +
           Grouped(kImageSizeLimit) + L" bytes (2 GiB): the stub takes " +
           Grouped(image.sizeOfImage) + L" and the configuration, archives and files " +
           Grouped(addedBytes) + L"; make the payload at least " + Grouped(excess) +
           (excess == 1 ? L" byte smaller" : L" bytes smaller");
    return false;
  }

  // The stub's bytes before the resource section, with the headers brought up to date.
  std::string& headers = result.headers;
  headers = stub.bytes.substr(0, resources.pointerToRawData);
  WriteLe(&headers, resources.headerOffset + 8, 4, result.layout.size);  // VirtualSize
  WriteLe(&headers, resources.headerOffset + 16, 4, rawSize);            // SizeOfRawData
  const uint64_t resourceFileEnd = uint64_t{resources.pointerToRawData} + resources.sizeOfRawData;
  for (size_t i = stub.resourceSection + 1; i < image.sections.size(); ++i) {
    const PeSection& moved = image.sections[i];
    WriteLe(&headers, moved.headerOffset + 12, 4, moved.virtualAddress + memoryShift);
    if (moved.pointerToRawData != 0) {
      WriteLe(&headers, moved.headerOffset + 20, 4, moved.pointerToRawData + fileShift);
    }
  }
  for (size_t d = 0; d < image.directories.size(); ++d) {
    const PeDirectory& directory = image.directories[d];
    const PeSection* holder = image.SectionAt(directory.rva);
    if (d == kResourceDirectory) {
      WriteLe(&headers, image.DirectoryOffset(d) + 4, 4, result.layout.size);
    } else if (d != kSecurityDirectory && directory.rva != 0 && holder != nullptr &&
               holder->virtualAddress > resources.virtualAddress) {
      WriteLe(&headers, image.DirectoryOffset(d), 4, directory.rva + memoryShift);
    }
  }
  // A symbol table behind the sections moves with them.
  const uint32_t symbols = ReadLe(stub.bytes, image.fileHeaderOffset + 8, 4);
  if (symbols != 0 && symbols >= resourceFileEnd) {
    WriteLe(&headers, image.fileHeaderOffset + 8, 4, symbols + fileShift);
  }
  WriteLe(&headers, image.SizeOfImageOffset(), 4, imageSize);
  if (resources.characteristics & kScnInitializedData) {
    WriteLe(&headers, image.SizeOfInitializedDataOffset(), 4,
            image.sizeOfInitializedData + fileShift);
  }
  WriteLe(&headers, image.ChecksumOffset(), 4, 0);  // summed as zero, set when written

  result.sectionRawSize = static_cast<uint32_t>(rawSize);
  *plan = std::move(result);
  return true;
}

bool WriteInstaller(const InstallerPlan& plan, const std::wstring& output, std::wstring* error) {
  const Stub& stub = *plan.stub;
  const PeSection& resources = stub.image.sections[stub.resourceSection];
  std::wstring cause;
  OutputFile file;
  if (!file.Create(output, &cause)) {
    *error = output + L": " + cause;
    return false;
  }
  ChecksummedOutput out(file);
  std::vector<char> buffer;
  auto writeFailed = [&] {
    if (error->empty()) *error = output + L": cannot write it: " + cause;
    return false;
  };
  error->clear();
  if (!out.Write(plan.headers.data(), plan.headers.size(), &cause) ||
      !out.Write(plan.layout.head.data(), plan.layout.head.size(), &cause)) {
    return writeFailed();
  }
  uint64_t written = plan.layout.head.size();  // within the section
  for (size_t i = 0; i < plan.items.size(); ++i) {
    if (!out.Zeros(plan.layout.dataOffsets[i] - written, &cause) ||
        !WriteItemData(plan.items[i], out, buffer, error, &cause)) {
      return writeFailed();
    }
    written = plan.layout.dataOffsets[i] + plan.items[i].size;
  }
  const uint64_t resourceFileEnd = uint64_t{resources.pointerToRawData} + resources.sizeOfRawData;
  if (!out.Zeros(plan.sectionRawSize - written, &cause) ||
      !out.Write(stub.bytes.data() + resourceFileEnd, stub.bytes.size() - resourceFileEnd, &cause)) {
    return writeFailed();
  }
  uint8_t checksum[4];
  const uint32_t value = out.checksum();
  for (int i = 0; i < 4; ++i) checksum[i] = static_cast<uint8_t>(value >> (8 * i));
  if (!file.WriteAt(stub.image.ChecksumOffset(), checksum, sizeof(checksum), &cause)) {
    return writeFailed();
  }
  if (!file.Commit(&cause)) {
    *error = output + L": " + cause;
    return false;
  }
  return true;
}

}  // namespace zelko::pack
