// libFuzzer target: opens the input as a 7z archive held in memory and streams every folder
// front to back through our folder decoder as the installer does (extract/folder_stream.h),
// reading every byte handed out, and checks every entry name as the installer would. Any crash, sanitizer report or leak is a finding.
//
// Built twice (fuzz/CMakeLists.txt). Random changes to an archive nearly always break its
// start-header or header check sums, so the SDK refuses the input before it reads a header
// or decodes a byte. The second build (ZELKO_FUZZ_REWRITE_CRCS) first writes the correct
// check sums into a copy of each input, so the changes reach the header reader and the
// decoders; the first build keeps the check-sum paths themselves under test.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "extract/decode_host.h"
#include "extract/entry_names.h"
#include "extract/folder_stream.h"
#include "extract/memory_stream.h"
#include "extract/look_reader.h"
#include "extract/sdk_archive.h"

namespace {

// Refuses the huge buffers that a forged header asks for, as a small machine would.
constexpr size_t kAllocLimit = size_t(256) << 20;

void* LimitedAlloc(ISzAllocPtr, size_t size) {
  return size == 0 || size > kAllocLimit ? nullptr : ::operator new(size, std::nothrow);
}
void LimitedFree(ISzAllocPtr, void* address) { ::operator delete(address); }
const ISzAlloc kAlloc = {LimitedAlloc, LimitedFree};

// Reports progress like the run does and pauses now and then, so those paths run too.
class FuzzHost : public zelko::QuietDecodeHost {
 public:
  bool IsPaused() override { return (++steps_ & 63) == 0; }
  void ReportProgress(uint32_t amountKB) override { total_ += amountKB; }
  // Two threads, so a stream of independent LZMA2 blocks takes the parallel path.
  unsigned DecodeThreads() override { return 2; }

 private:
  unsigned steps_ = 0;
  uint64_t total_ = 0;
};

// Takes a folder's output as the installer's writer does: piece by piece, every byte read.
class EntrySink : public zelko::FolderSink {
 public:
  SRes Put(const Byte* data, size_t size) override {
    if (size != 0) crc_ = CrcUpdate(crc_, data, size);
    return SZ_OK;
  }

 private:
  UInt32 crc_ = CRC_INIT_VAL;
};

#ifdef ZELKO_FUZZ_REWRITE_CRCS
// The start header: the signature (6 bytes), the version (2), the check sum (4) of the 20
// bytes that follow it: the next header's offset (8) and size (8) and its check sum (4).
constexpr size_t kStartHeaderSize = 32;
constexpr Byte kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

uint64_t ReadUInt64(const Byte* p) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void WriteUInt32(Byte* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = Byte(value >> (8 * i));
}

// Makes the signature and both check sums of the start header right. The next header's
// check sum is rewritten only when its offset and size point inside the input.
void RewriteChecks(std::vector<Byte>& archive) {
  if (archive.size() < kStartHeaderSize) return;
  Byte* start = archive.data();
  std::memcpy(start, kSignature, sizeof kSignature);
  const uint64_t offset = ReadUInt64(start + 12);
  const uint64_t size = ReadUInt64(start + 20);
  const uint64_t room = archive.size() - kStartHeaderSize;
  if (offset <= room && size <= room - offset) {
    WriteUInt32(start + 28, CrcCalc(start + kStartHeaderSize + offset, size_t(size)));
  }
  WriteUInt32(start + 8, CrcCalc(start + 12, 20));
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static bool crcReady = (CrcGenerateTable(), true);
  (void)crcReady;
#ifdef ZELKO_FUZZ_REWRITE_CRCS
  std::vector<Byte> archive(bytes, bytes + size);
  RewriteChecks(archive);
  const Byte* data = archive.data();
#else
  const Byte* data = bytes;
#endif
  FuzzHost host;
  zelko::ScopedDecodeHost scope(host);

  zelko::MemoryInStream input;
  zelko::MemoryInStream_Init(&input, data, size);
  zelko::LookAheadReader look(&input.vt, 1 << 14);

  zelko::ArchiveDatabase db(&kAlloc);
  if (db.Open(look.stream()) == SZ_OK) {
    std::vector<UInt16> name;
    for (UInt32 i = 0; i < db->NumFiles; ++i) {
      name.resize(zelko::GetStoredEntryName(db.get(), i, nullptr) + 1);
      const size_t length = zelko::GetStoredEntryName(db.get(), i, name.data());
      zelko::IsSafeEntryName(name.data(), length == 0 ? 0 : length - 1);
    }
    for (UInt32 folder = 0; folder < db->db.NumFolders; ++folder) {
      EntrySink sink;
      if (zelko::StreamFolder(&db->db, folder, look.stream(), db->dataPos, sink, &kAlloc) !=
          SZ_OK) {
        break;
      }
    }
  }
  return 0;
}
