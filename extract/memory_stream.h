// An archive held in memory as the SDK's seekable input stream: the packer reads the archives
// it holds this way, and so do the native fuzz and timing builds and the tests that feed the
// decoder crafted data.
#pragma once

#include <cstddef>

#include "7zTypes.h"

namespace zelko {

struct MemoryInStream {
  ISeekInStream vt;
  const Byte* data;
  size_t size;
  size_t pos;
};

// Points `stream` at `size` bytes from `data` (not copied; they must outlive the stream).
void MemoryInStream_Init(MemoryInStream* stream, const void* data, size_t size);

}  // namespace zelko
