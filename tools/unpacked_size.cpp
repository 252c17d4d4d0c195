#include "tools/unpacked_size.h"

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/entry_names.h"
#include "extract/look_reader.h"
#include "extract/sdk_archive.h"
#include "tools/file_in_stream.h"
#include "tools/pack_files.h"
#include "tools/windows_entry_names.h"

namespace zelko::pack {
namespace {

constexpr size_t kLookBufferSize = 1 << 14;
constexpr uint64_t kMiB = 1 << 20;

const ISzAlloc kAlloc = {SzAlloc, SzFree};

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
    case SZ_ERROR_ARCHIVE:
      return L"its header breaks the 7z format (a property given twice, or one too short for "
             L"what it holds)";
    case SZ_ERROR_READ:
      if (!readError.empty()) return L"it cannot be read: " + readError;
      [[fallthrough]];
    default:
      return L"its header is damaged (7z reader error " + std::to_wstring(result) + L")";
  }
}

// Why the installer would refuse the entry `name` (its stored units, possibly none).
std::wstring RefusedNameReason(const std::vector<uint16_t>& name) {
  if (name.empty()) return L"it holds an entry without a name";
  return L"it holds the entry \"" + std::wstring(name.begin(), name.end()) +
         L"\", whose name the installer refuses";
}

}  // namespace

bool ReadUnpackedSize(const InputFile& archive, uint64_t* bytes, std::wstring* why) {
  FileInStream input(archive);
  LookAheadReader look(&input.vt, kLookBufferSize);
  CrcGenerateTable();
  ArchiveDatabase db(&kAlloc);
  const SRes result = db.Open(look.stream());
  std::vector<uint16_t> name;
  bool ok = result == SZ_OK;
  if (!ok) {
    *why = Reason(result, input.readError);
  } else if (FindRefusedEntryName(db.get(), &name)) {
    *why = RefusedNameReason(name);
    ok = false;
  } else if (FindUncreatableEntryName(db.get(), why)) {
    *why = L"it " + *why;
    ok = false;
  } else {
    *bytes = 0;
    for (UInt32 i = 0; i < db->NumFiles; ++i) {
      if (!SzArEx_IsDir(db.sdk(), i)) *bytes += SzArEx_GetFileSize(db.sdk(), i);
    }
  }
  return ok;
}

uint64_t WholeMiBRoundedUp(uint64_t bytes) { return bytes / kMiB + (bytes % kMiB != 0 ? 1 : 0); }

}  // namespace zelko::pack
