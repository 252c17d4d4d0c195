// Owners for what the SDK's 7z reader allocates: the archive database that SzArEx_Open fills
// and the folder buffer that SzArEx_Extract keeps between the entries of one folder (the
// extraction streams its folders instead; the decoding benchmark reads through the SDK). Each
// frees with the allocator it was filled with, however the code that uses it returns.
// Free of Windows headers: the packer, the fuzzers and the benchmark use them too.
#pragma once

#include <cstddef>

#include "7z.h"

namespace zelko {

class ArchiveDatabase {
 public:
  explicit ArchiveDatabase(const ISzAlloc* alloc) : alloc_(alloc) { SzArEx_Init(&db_); }
  ~ArchiveDatabase() { SzArEx_Free(&db_, alloc_); }
  ArchiveDatabase(const ArchiveDatabase&) = delete;
  ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

  // Reads the archive's headers; `stream` must stay open while entries are extracted.
  SRes Open(ILookInStreamPtr stream) { return SzArEx_Open(&db_, stream, alloc_, alloc_); }

  const CSzArEx& get() const { return db_; }
  const CSzArEx* operator->() const { return &db_; }
  // The SDK's calls take the database by a pointer to non-const even when they only read.
  CSzArEx* sdk() { return &db_; }

 private:
  const ISzAlloc* alloc_;
  CSzArEx db_;
};

// The unpacked folder that the entries being extracted come from: SzArEx_Extract decodes a
// folder once and hands out each of its files as a slice of this buffer.
class ExtractCache {
 public:
  explicit ExtractCache(const ISzAlloc* alloc) : alloc_(alloc) {}
  ~ExtractCache() { ISzAlloc_Free(alloc_, buffer_); }
  ExtractCache(const ExtractCache&) = delete;
  ExtractCache& operator=(const ExtractCache&) = delete;

  // Extracts entry `index` of `archive`, which uses the same allocator. On success `*bytes`
  // points at its `*size` bytes until the next call (null for an empty file that no decoded
  // folder holds).
  SRes Extract(ArchiveDatabase& archive, ILookInStreamPtr stream, UInt32 index,
               const Byte** bytes, size_t* size) {
    size_t offset = 0;
    *size = 0;
    const SRes result = SzArEx_Extract(archive.sdk(), stream, index, &blockIndex_, &buffer_,
                                       &bufferSize_, &offset, size, alloc_, alloc_);
    *bytes = result == SZ_OK && buffer_ != nullptr ? buffer_ + offset : nullptr;
    return result;
  }

 private:
  const ISzAlloc* alloc_;
  UInt32 blockIndex_ = 0xFFFFFFFF;  // no folder decoded yet
  Byte* buffer_ = nullptr;
  size_t bufferSize_ = 0;
};

}  // namespace zelko
