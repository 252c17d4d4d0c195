// libFuzzer target: opens the input as a 7z archive held in memory and extracts every entry
// to memory through the SDK's reader and our folder decoder, checking every entry name as
// the installer would. Any crash, sanitizer report or leak is a finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "extract/decode_host.h"
#include "extract/entry_names.h"
#include "extract/memory_stream.h"
#include "extract/look_reader.h"

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

 private:
  unsigned steps_ = 0;
  uint64_t total_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool crcReady = (CrcGenerateTable(), true);
  (void)crcReady;
  FuzzHost host;
  zelko::ScopedDecodeHost scope(host);

  zelko::MemoryInStream input;
  zelko::MemoryInStream_Init(&input, data, size);
  zelko::LookAheadReader look(&input.vt, 1 << 14);

  CSzArEx db;
  SzArEx_Init(&db);
  if (SzArEx_Open(&db, look.stream(), &kAlloc, &kAlloc) == SZ_OK) {
    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* cache = nullptr;
    size_t cacheSize = 0;
    std::vector<UInt16> name;
    volatile UInt32 sink = 0;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      name.resize(zelko::GetStoredEntryName(db, i, nullptr) + 1);
      const size_t length = zelko::GetStoredEntryName(db, i, name.data());
      zelko::IsSafeEntryName(name.data(), length == 0 ? 0 : length - 1);
      if (SzArEx_IsDir(&db, i)) continue;
      size_t offset = 0, outSize = 0;
      if (SzArEx_Extract(&db, look.stream(), i, &blockIndex, &cache, &cacheSize, &offset, &outSize,
                         &kAlloc, &kAlloc) != SZ_OK) {
        break;
      }
      // Touch every byte handed out, so a wrong offset or size shows as an overflow.
      if (outSize != 0) sink = sink + CrcCalc(cache + offset, outSize);
    }
    ISzAlloc_Free(&kAlloc, cache);
  }
  SzArEx_Free(&db, &kAlloc);
  return 0;
}
