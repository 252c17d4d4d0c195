#include "tools/file_in_stream.h"

namespace zelko::pack {
namespace {

FileInStream* Self(ISeekInStreamPtr p) {
  return reinterpret_cast<FileInStream*>(const_cast<ISeekInStream*>(p));
}

SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
  FileInStream* s = Self(p);
  const uint64_t left = s->position < s->file->size() ? s->file->size() - s->position : 0;
  if (*size > left) *size = static_cast<size_t>(left);
  if (*size != 0 && !s->file->ReadAt(s->position, buf, *size, &s->readError)) {
    *size = 0;
    return SZ_ERROR_READ;
  }
  s->position += *size;
  return SZ_OK;
}

SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
  FileInStream* s = Self(p);
  Int64 base = 0;
  switch (origin) {
    case SZ_SEEK_SET: base = 0; break;
    case SZ_SEEK_CUR: base = static_cast<Int64>(s->position); break;
    case SZ_SEEK_END: base = static_cast<Int64>(s->file->size()); break;
    default: return SZ_ERROR_PARAM;
  }
  const Int64 target = base + *pos;
  if (target < 0) return SZ_ERROR_READ;
  s->position = static_cast<uint64_t>(target);
  *pos = target;
  return SZ_OK;
}

}  // namespace

FileInStream::FileInStream(const InputFile& input) : vt{Read, Seek}, file(&input) {}

}  // namespace zelko::pack
