// Decodes every entry of an archive held in memory and prints the seconds it took and the
// unpacked bytes: `decode_ours ARCHIVE [THREADS [largest]]` or `decode_sdk ARCHIVE [-
// largest]`. Ours decodes a folder of independent LZMA2 blocks with THREADS threads (default
// 1). With "largest", only the largest folder is decoded and timed, without the entries'
// check sums.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/memory_stream.h"
#include "extract/look_reader.h"
#ifdef ZELKO_DECODE_THREADS_ARG
#include <cstdlib>

#include "extract/decode_host.h"

namespace {

struct ThreadsHost : zelko::QuietDecodeHost {
  explicit ThreadsHost(unsigned count) : threads(count) {}
  unsigned DecodeThreads() override { return threads; }
  unsigned threads;
};

}  // namespace
#endif

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) return 2;
  const bool largestOnly = argc == 4 && std::strcmp(argv[3], "largest") == 0;
#ifdef ZELKO_DECODE_THREADS_ARG
  ThreadsHost host(argc >= 3 ? static_cast<unsigned>(std::atoi(argv[2])) : 1);
  zelko::ScopedDecodeHost scope(host);
#endif
  std::FILE* file = std::fopen(argv[1], "rb");
  if (!file) return 2;
  std::vector<unsigned char> bytes;
  unsigned char chunk[1 << 16];
  for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  std::fclose(file);

  auto start = std::chrono::steady_clock::now();
  const ISzAlloc alloc = {SzAlloc, SzFree};
  CrcGenerateTable();
  zelko::MemoryInStream input;
  zelko::MemoryInStream_Init(&input, bytes.data(), bytes.size());
  zelko::LookAheadReader look(&input.vt, 1 << 14);
  CSzArEx db;
  SzArEx_Init(&db);
  SRes res = SzArEx_Open(&db, look.stream(), &alloc, &alloc);
  UInt64 total = 0;
  UInt32 blockIndex = 0xFFFFFFFF;
  Byte* cache = nullptr;
  size_t cacheSize = 0;
  if (res == SZ_OK && largestOnly) {
    UInt32 largest = 0;
    for (UInt32 f = 1; f < db.db.NumFolders; ++f) {
      if (SzAr_GetFolderUnpackSize(&db.db, f) > SzAr_GetFolderUnpackSize(&db.db, largest)) {
        largest = f;
      }
    }
    total = SzAr_GetFolderUnpackSize(&db.db, largest);
    std::vector<Byte> out(static_cast<size_t>(total));
    start = std::chrono::steady_clock::now();
    res = SzAr_DecodeFolder(&db.db, largest, look.stream(), db.dataPos, out.data(), out.size(),
                            &alloc);
  }
  for (UInt32 i = 0; res == SZ_OK && !largestOnly && i < db.NumFiles; ++i) {
    if (SzArEx_IsDir(&db, i)) continue;
    size_t offset = 0, size = 0;
    res = SzArEx_Extract(&db, look.stream(), i, &blockIndex, &cache, &cacheSize, &offset, &size,
                         &alloc, &alloc);
    total += size;
  }
  ISzAlloc_Free(&alloc, cache);
  SzArEx_Free(&db, &alloc);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.4f %llu %d\n", seconds, static_cast<unsigned long long>(total), res);
  return res == SZ_OK ? 0 : 1;
}
