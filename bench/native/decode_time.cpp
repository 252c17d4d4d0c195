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
#include "extract/sdk_archive.h"
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
  zelko::ArchiveDatabase archive(&alloc);
  SRes res = archive.Open(look.stream());
  const CSzArEx& db = archive.get();
  UInt64 total = 0;
  zelko::ExtractCache cache(&alloc);
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
    const Byte* unpacked = nullptr;
    size_t size = 0;
    res = cache.Extract(archive, look.stream(), i, &unpacked, &size);
    total += size;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.4f %llu %d\n", seconds, static_cast<unsigned long long>(total), res);
  return res == SZ_OK ? 0 : 1;
}
