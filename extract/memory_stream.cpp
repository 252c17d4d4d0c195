#include "extract/memory_stream.h"

#include <cstring>

namespace zelko {
namespace {

MemoryInStream* Self(ISeekInStreamPtr p) {
  // vt is the first member, so the interface pointer is the stream's address.
  return reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
}

SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
  MemoryInStream* s = Self(p);
  const size_t left = s->size - s->pos;
  if (*size > left) *size = left;
  if (*size != 0) std::memcpy(buf, s->data + s->pos, *size);
  s->pos += *size;
  return SZ_OK;
}

SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  MemoryInStream* s = Self(p);
  Int64 base = 0;
  switch (origin) {
    case SZ_SEEK_SET: base = 0; break;
    case SZ_SEEK_CUR: base = static_cast<Int64>(s->pos); break;
    case SZ_SEEK_END: base = static_cast<Int64>(s->size); break;
    default: return SZ_ERROR_PARAM;
  }
  const Int64 target = base + *pos;
  if (target < 0) return SZ_ERROR_READ;
  // Past the end reads nothing, like a file.
  s->pos = static_cast<UInt64>(target) > s->size ? s->size : static_cast<size_t>(target);
  *pos = target;
  return SZ_OK;
}

}  // namespace

void MemoryInStream_Init(MemoryInStream* stream, const void* data, size_t size) {
  stream->vt.Read = Read;
  stream->vt.Seek = Seek;
  stream->data = static_cast<const Byte*>(data);
  stream->size = size;
  stream->pos = 0;
}

}  // namespace zelko
