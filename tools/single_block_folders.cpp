#include "tools/single_block_folders.h"

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "extract/look_reader.h"
#include "extract/lzma2_blocks.h"
#include "extract/sdk_archive.h"
#include "tools/file_in_stream.h"

namespace zelko::pack {
namespace {

constexpr UInt32 kMethodLzma2 = 0x21;
const ISzAlloc kAlloc = {SzAlloc, SzFree};

}  // namespace

std::vector<uint64_t> LargeSingleBlockLzma2Folders(const InputFile& archive) {
  std::vector<uint64_t> sizes;
  FileInStream input(archive);
  LookAheadReader look(&input.vt, 1 << 14);
  CrcGenerateTable();
  ArchiveDatabase db(&kAlloc);
  if (db.Open(look.stream()) == SZ_OK) {
    const CSzAr& ar = db->db;
    for (UInt32 f = 0; f < ar.NumFolders; ++f) {
      CSzFolder folder;
      CSzData sd = {ar.CodersData + ar.FoCodersOffsets[f],
                    ar.FoCodersOffsets[f + 1] - ar.FoCodersOffsets[f]};
      // One packed stream, read by the folder's LZMA2 coder: LZMA2 alone or under a filter.
      if (SzGetNextFolderItem(&folder, &sd) != SZ_OK || folder.NumPackStreams != 1) continue;
      for (UInt32 c = 0; c < folder.NumCoders; ++c) {
        if (folder.Coders[c].MethodID != kMethodLzma2) continue;
        const UInt64 unpacked = ar.CoderUnpackSizes[ar.FoToCoderUnpackSizes[f] + c];
        const UInt32 pack = ar.FoStartPackStreamIndex[f];
        std::vector<Lzma2Block> blocks;
        if (unpacked >= kLargeFolderBytes && unpacked == static_cast<size_t>(unpacked) &&
            FindLzma2Blocks(look.stream(), db->dataPos + ar.PackPositions[pack],
                            ar.PackPositions[pack + 1] - ar.PackPositions[pack],
                            static_cast<size_t>(unpacked), &blocks) &&
            blocks.size() == 1) {
          sizes.push_back(unpacked);
        }
      }
    }
  }
  return sizes;
}

}  // namespace zelko::pack
