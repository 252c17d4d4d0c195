#include "extract/folder_layout.h"

#include "Bcj2.h"

namespace zelko {

CoderKind KindOf(UInt32 method) {
  switch (method) {
    case kMethodCopy:
    case kMethodLzma:
    case kMethodLzma2:
      return CoderKind::kMain;
    case kMethodDelta:
    case kMethodX86:
    case kMethodBcjX86:
    case kMethodPpc:
    case kMethodPpcLong:
    case kMethodIa64:
    case kMethodIa64Long:
    case kMethodArm:
    case kMethodArmLong:
    case kMethodArmt:
    case kMethodArmtLong:
    case kMethodSparc:
    case kMethodSparcLong:
    case kMethodArm64:
    case kMethodRiscv:
      return CoderKind::kFilter;
    case kMethodBcj2:
      return CoderKind::kBcj2;
    default:
      return CoderKind::kUnsupported;
  }
}

SRes ReadLayout(const CSzAr* p, UInt32 folderIndex, UInt64 startPos, FolderLayout* layout) {
  if (folderIndex >= p->NumFolders) return SZ_ERROR_PARAM;
  CSzData sd;
  sd.Data = p->CodersData + p->FoCodersOffsets[folderIndex];
  sd.Size = p->FoCodersOffsets[folderIndex + 1] - p->FoCodersOffsets[folderIndex];
  layout->codersData = sd.Data;
  RINOK(SzGetNextFolderItem(&layout->folder, &sd))
  const CSzFolder& f = layout->folder;

  const UInt32 firstSize = p->FoToCoderUnpackSizes[folderIndex];
  if (p->FoToCoderUnpackSizes[folderIndex + 1] - firstSize != f.NumCoders) {
    return SZ_ERROR_ARCHIVE;
  }
  UInt32 inStream = 0;
  for (UInt32 c = 0; c < f.NumCoders; ++c) {
    layout->unpackSizes[c] = p->CoderUnpackSizes[firstSize + c];
    layout->firstInStream[c] = inStream;
    inStream += f.Coders[c].NumStreams;
  }

  const UInt32 firstPack = p->FoStartPackStreamIndex[folderIndex];
  if (p->FoStartPackStreamIndex[folderIndex + 1] - firstPack != f.NumPackStreams) {
    return SZ_ERROR_ARCHIVE;
  }
  for (UInt32 k = 0; k < f.NumPackStreams; ++k) {
    const UInt64 begin = p->PackPositions[firstPack + k];
    const UInt64 end = p->PackPositions[firstPack + k + 1];
    if (end < begin) return SZ_ERROR_ARCHIVE;
    layout->packPositions[k] = startPos + begin;
    layout->packSizes[k] = end - begin;
  }
  return SZ_OK;
}

SRes SourceOf(const FolderLayout& layout, UInt32 coder, UInt32 stream, StreamSource* source) {
  const CSzFolder& f = layout.folder;
  const UInt32 inIndex = layout.firstInStream[coder] + stream;
  for (UInt32 b = 0; b < f.NumBonds; ++b) {
    if (f.Bonds[b].InIndex == inIndex) {
      source->packed = false;
      source->index = f.Bonds[b].OutIndex;
      return SZ_OK;
    }
  }
  for (UInt32 k = 0; k < f.NumPackStreams; ++k) {
    if (f.PackStreams[k] == inIndex) {
      source->packed = true;
      source->index = k;
      return SZ_OK;
    }
  }
  return SZ_ERROR_ARCHIVE;
}

bool ToSize(UInt64 value, size_t* size) {
  *size = static_cast<size_t>(value);
  return *size == value;
}

SRes CheckSupported(const FolderLayout& layout) {
  const CSzFolder& f = layout.folder;
  auto isMainOnPacked = [&](UInt32 coder) {
    const CSzCoderInfo& info = f.Coders[coder];
    if (KindOf(info.MethodID) != CoderKind::kMain || info.NumStreams != 1) return false;
    StreamSource source;
    return SourceOf(layout, coder, 0, &source) == SZ_OK && source.packed;
  };
  const UInt32 top = f.UnpackStream;
  const CSzCoderInfo& topInfo = f.Coders[top];
  switch (f.NumCoders) {
    case 1:
      return isMainOnPacked(top) ? SZ_OK : SZ_ERROR_UNSUPPORTED;
    case 2: {
      if (KindOf(topInfo.MethodID) != CoderKind::kFilter || topInfo.NumStreams != 1) {
        return SZ_ERROR_UNSUPPORTED;
      }
      StreamSource source;
      RINOK(SourceOf(layout, top, 0, &source))
      return !source.packed && isMainOnPacked(source.index) ? SZ_OK : SZ_ERROR_UNSUPPORTED;
    }
    case 4: {
      if (KindOf(topInfo.MethodID) != CoderKind::kBcj2 || topInfo.NumStreams != BCJ2_NUM_STREAMS) {
        return SZ_ERROR_UNSUPPORTED;
      }
      for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
        StreamSource source;
        RINOK(SourceOf(layout, top, s, &source))
        if (!source.packed && !isMainOnPacked(source.index)) return SZ_ERROR_UNSUPPORTED;
      }
      return SZ_OK;
    }
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
}

}  // namespace zelko
