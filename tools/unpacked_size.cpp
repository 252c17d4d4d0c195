#include "tools/unpacked_size.h"

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/look_reader.h"
#include "tools/pack_files.h"

namespace zelko::pack {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;
constexpr uint64_t kMiB = 1 << 20;

const ISzAlloc kAlloc = {SzAlloc, SzFree};

// An input file as the SDK's seekable stream. The SDK reads the signature header, seeks to the
// database at the end and reads only that.
struct FileInStream {
  ISeekInStream vt;
  const InputFile* file;
  uint64_t position;
  std::wstring readError;
};

FileInStream* Self(ISeekInStreamPtr p) {
  // vt is the first member, so the interface pointer is the stream's address.
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

// The SDK's results as the reason an archive cannot be read.
std::wstring Reason(SRes result, const std::wstring& readError) {
  switch (result) {
    case SZ_ERROR_NO_ARCHIVE:
      return L"it has no 7z signature";
    case SZ_ERROR_INPUT_EOF:
      return L"it ends before its header does";
    case SZ_ERROR_CRC:
      return L"the check sum of its header does not match";
    case SZ_ERROR_UNSUPPORTED:
      return L"its header uses a method the installer does not decode";
    case SZ_ERROR_MEM:
      return L"its header asks for more memory than there is";
    case SZ_ERROR_READ:
      if (!readError.empty()) return L"it cannot be read: " + readError;
      [[fallthrough]];
    default:
      return L"its header is damaged (7z reader error " + std::to_wstring(result) + L")";
  }
}

}  // namespace

bool ReadUnpackedSize(const InputFile& archive, uint64_t* bytes, std::wstring* why) {
  FileInStream input{{Read, Seek}, &archive, 0, {}};
  LookAheadReader look(&input.vt, kLookBufferSize);
  CrcGenerateTable();
  CSzArEx db;
  SzArEx_Init(&db);
  const SRes result = SzArEx_Open(&db, look.stream(), &kAlloc, &kAlloc);
  if (result == SZ_OK) {
    *bytes = 0;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (!SzArEx_IsDir(&db, i)) *bytes += SzArEx_GetFileSize(&db, i);
    }
  } else {
    *why = Reason(result, input.readError);
  }
  SzArEx_Free(&db, &kAlloc);
  return result == SZ_OK;
}

uint64_t WholeMiBRoundedUp(uint64_t bytes) { return bytes / kMiB + (bytes % kMiB != 0 ? 1 : 0); }

}  // namespace zelko::pack
