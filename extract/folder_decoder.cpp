#include "extract/folder_decoder.h"

#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "Bcj2.h"
#include "Bra.h"
#include "CpuArch.h"
#include "Delta.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
#include "extract/coder_steps.h"
#include "extract/decode_host.h"
#include "extract/lzma2_blocks.h"

namespace zelko {
namespace {

// At most this much input is asked for per step; the look-ahead stream hands out less.
constexpr size_t kLookRequest = 1 << 18;
// Stored data is read straight into the output in steps of this size.
constexpr SizeT kCopyStep = 1 << 18;

// Method ids as the archive stores them. The branch filters have an old long id and a new
// short one; archives carry either.
constexpr UInt32 kMethodCopy = 0x00;
constexpr UInt32 kMethodDelta = 0x03;
constexpr UInt32 kMethodX86 = 0x04;
constexpr UInt32 kMethodPpc = 0x05;
constexpr UInt32 kMethodIa64 = 0x06;
constexpr UInt32 kMethodArm = 0x07;
constexpr UInt32 kMethodArmt = 0x08;
constexpr UInt32 kMethodSparc = 0x09;
constexpr UInt32 kMethodArm64 = 0x0A;
constexpr UInt32 kMethodRiscv = 0x0B;
constexpr UInt32 kMethodLzma2 = 0x21;
constexpr UInt32 kMethodLzma = 0x030101;
constexpr UInt32 kMethodBcjX86 = 0x03030103;
constexpr UInt32 kMethodBcj2 = 0x0303011B;
constexpr UInt32 kMethodPpcLong = 0x03030205;
constexpr UInt32 kMethodIa64Long = 0x03030401;
constexpr UInt32 kMethodArmLong = 0x03030501;
constexpr UInt32 kMethodArmtLong = 0x03030701;
constexpr UInt32 kMethodSparcLong = 0x03030805;

enum class CoderKind { kMain, kFilter, kBcj2, kUnsupported };

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

// One folder as read from the archive database: its coders, how their streams connect, the
// unpacked size of every coder and where every packed stream lies in the archive.
struct FolderLayout {
  CSzFolder folder;
  const Byte* codersData = nullptr;  // the folder's coder records; properties are inside
  UInt64 unpackSizes[SZ_NUM_CODERS_IN_FOLDER_MAX] = {};
  UInt64 packPositions[SZ_NUM_PACK_STREAMS_IN_FOLDER_MAX] = {};
  UInt64 packSizes[SZ_NUM_PACK_STREAMS_IN_FOLDER_MAX] = {};
  UInt32 firstInStream[SZ_NUM_CODERS_IN_FOLDER_MAX] = {};
};

// Where one input stream of a coder comes from: a packed stream or another coder's output.
struct StreamSource {
  bool packed = false;
  UInt32 index = 0;  // packed stream index or coder index
};

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

// The shapes we decode: one main coder; a filter over a main coder; BCJ2 over three main
// coders and one packed stream. Main coders read a packed stream. Everything else is refused
// before any byte is read.
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

// A stream of independent blocks is decoded by several threads when the run allows it.
// Anything else, and a stream whose blocks cannot be handed out, goes through the one-decoder
// loop, from the start of its data.
SRes DecodeLzma2(const Byte* props, unsigned propsSize, UInt64 packPosition, UInt64 packSize,
                 ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize, ISzAllocPtr alloc) {
  DecodeHost& host = CurrentDecodeHost();
  const unsigned threads = host.DecodeThreads();
  if (propsSize == 1 && threads > 1) {
    std::vector<Lzma2Block> blocks;
    if (FindLzma2Blocks(inStream, packPosition, packSize, outSize, &blocks) &&
        blocks.size() > 1) {
      const SRes res = DecodeLzma2Blocks(props[0], inStream, packPosition, blocks, outBuffer,
                                         Lzma2WorkerCount(threads, blocks.size()), alloc, host);
      if (res != SZ_ERROR_THREAD) return res;
    }
    RINOK(LookInStream_SeekTo(inStream, packPosition))
  }
  return DecodeLzma2Coder(props, propsSize, packSize, inStream, outBuffer, outSize, alloc);
}

SRes DecodeCopyCoder(UInt64 packSize, ILookInStreamPtr inStream, Byte* outBuffer,
                     SizeT outSize) {
  if (packSize != outSize) return SZ_ERROR_DATA;
  CoderSteps steps(CurrentDecodeHost());
  for (SizeT pos = 0; pos < outSize;) {
    const SizeT startPos = pos;
    const SizeT step = outSize - pos < kCopyStep ? outSize - pos : kCopyStep;
    RINOK(LookInStream_Read(inStream, outBuffer + pos, step))
    pos += step;
    if (pos < outSize && !steps.BetweenSteps(startPos)) break;
  }
  return SZ_OK;
}

// Runs a main coder over its packed stream into `out`, which takes the coder's whole output.
SRes DecodeMainCoder(const FolderLayout& layout, UInt32 coder, ILookInStreamPtr inStream,
                     Byte* out, size_t outSize, ISzAllocPtr alloc) {
  if (layout.unpackSizes[coder] != outSize) return SZ_ERROR_DATA;
  StreamSource source;
  RINOK(SourceOf(layout, coder, 0, &source))
  const UInt64 packSize = layout.packSizes[source.index];
  RINOK(LookInStream_SeekTo(inStream, layout.packPositions[source.index]))
  const CSzCoderInfo& info = layout.folder.Coders[coder];
  const Byte* props = layout.codersData + info.PropsOffset;
  switch (info.MethodID) {
    case kMethodCopy:
      return DecodeCopyCoder(packSize, inStream, out, outSize);
    case kMethodLzma:
      return DecodeLzmaCoder(props, info.PropsSize, packSize, inStream, out, outSize, alloc);
    case kMethodLzma2:
      return DecodeLzma2(props, info.PropsSize, layout.packPositions[source.index], packSize,
                         inStream, out, outSize, alloc);
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
}

// Converts `data` in place with the branch or delta filter of `info`.
SRes ApplyFilter(const FolderLayout& layout, const CSzCoderInfo& info, Byte* data, SizeT size) {
  const Byte* props = layout.codersData + info.PropsOffset;
  if (info.MethodID == kMethodDelta) {
    if (info.PropsSize != 1) return SZ_ERROR_UNSUPPORTED;
    Byte state[DELTA_STATE_SIZE];
    Delta_Init(state);
    Delta_Decode(state, static_cast<unsigned>(props[0]) + 1, data, size);
    return SZ_OK;
  }
  // ARM64 and RISC-V may carry a start address; the older filters never do.
  UInt32 pc = 0;
  if (info.MethodID == kMethodArm64 || info.MethodID == kMethodRiscv) {
    if (info.PropsSize == 4) {
      pc = GetUi32(props);
      if ((pc & (info.MethodID == kMethodArm64 ? 3u : 1u)) != 0) return SZ_ERROR_UNSUPPORTED;
    } else if (info.PropsSize != 0) {
      return SZ_ERROR_UNSUPPORTED;
    }
  } else if (info.PropsSize != 0) {
    return SZ_ERROR_UNSUPPORTED;
  }
  switch (info.MethodID) {
    case kMethodX86:
    case kMethodBcjX86: {
      UInt32 x86State = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
      z7_BranchConvSt_X86_Dec(data, size, pc, &x86State);
      break;
    }
    case kMethodPpc:
    case kMethodPpcLong:
      z7_BranchConv_PPC_Dec(data, size, pc);
      break;
    case kMethodIa64:
    case kMethodIa64Long:
      z7_BranchConv_IA64_Dec(data, size, pc);
      break;
    case kMethodArm:
    case kMethodArmLong:
      z7_BranchConv_ARM_Dec(data, size, pc);
      break;
    case kMethodArmt:
    case kMethodArmtLong:
      z7_BranchConv_ARMT_Dec(data, size, pc);
      break;
    case kMethodSparc:
    case kMethodSparcLong:
      z7_BranchConv_SPARC_Dec(data, size, pc);
      break;
    case kMethodArm64:
      z7_BranchConv_ARM64_Dec(data, size, pc);
      break;
    case kMethodRiscv:
      z7_BranchConv_RISCV_Dec(data, size, pc);
      break;
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
  return SZ_OK;
}

// Memory from the decoder's allocator, released on every path.
class TempBuffer {
 public:
  explicit TempBuffer(ISzAllocPtr alloc) : alloc_(alloc) {}
  ~TempBuffer() { ISzAlloc_Free(alloc_, data_); }
  TempBuffer(const TempBuffer&) = delete;
  TempBuffer& operator=(const TempBuffer&) = delete;

  bool Allocate(size_t size) {
    data_ = size == 0 ? nullptr : static_cast<Byte*>(ISzAlloc_Alloc(alloc_, size));
    return size == 0 || data_ != nullptr;
  }
  Byte* get() const { return data_; }

 private:
  ISzAllocPtr alloc_;
  Byte* data_ = nullptr;
};

// BCJ2 over its four inputs. The main input, nearly as large as the output, is decoded into
// the tail of the output buffer itself, so the folder needs no second buffer of its size; the
// decoder writes behind its reading position there. The other three inputs are small.
SRes DecodeBcj2Folder(const FolderLayout& layout, ILookInStreamPtr inStream, Byte* out,
                      size_t outSize, ISzAllocPtr alloc) {
  const UInt32 top = layout.folder.UnpackStream;
  StreamSource sources[BCJ2_NUM_STREAMS];
  size_t sizes[BCJ2_NUM_STREAMS];
  for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    RINOK(SourceOf(layout, top, s, &sources[s]))
    const UInt64 size = sources[s].packed ? layout.packSizes[sources[s].index]
                                          : layout.unpackSizes[sources[s].index];
    if (!ToSize(size, &sizes[s])) return SZ_ERROR_MEM;
  }
  const size_t mainSize = sizes[BCJ2_STREAM_MAIN];
  const size_t callSize = sizes[BCJ2_STREAM_CALL];
  const size_t jumpSize = sizes[BCJ2_STREAM_JUMP];
  // The output is the main stream with the call and jump addresses put back in; anything
  // else is damage, and the in-place decoding needs exactly that room.
  if (mainSize > outSize || outSize - mainSize < callSize ||
      outSize - mainSize - callSize < jumpSize || (callSize & 3) != 0 || (jumpSize & 3) != 0) {
    return SZ_ERROR_DATA;
  }

  TempBuffer side[BCJ2_NUM_STREAMS] = {TempBuffer(alloc), TempBuffer(alloc), TempBuffer(alloc),
                                       TempBuffer(alloc)};
  Byte* inputs[BCJ2_NUM_STREAMS];
  DecodeHost& host = CurrentDecodeHost();
  for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    if (s == BCJ2_STREAM_MAIN) {
      inputs[s] = out + (outSize - mainSize);
    } else {
      if (!side[s].Allocate(sizes[s])) return SZ_ERROR_MEM;
      inputs[s] = side[s].get();
    }
    if (sources[s].packed) {
      RINOK(LookInStream_SeekTo(inStream, layout.packPositions[sources[s].index]))
      RINOK(LookInStream_Read(inStream, inputs[s], sizes[s]))
    } else {
      RINOK(DecodeMainCoder(layout, sources[s].index, inStream, inputs[s], sizes[s], alloc))
      // A cancel leaves the input incomplete; the check sum then tells the caller.
      if (host.IsFinished() || host.IsCancelled()) return SZ_OK;
    }
  }

  CBcj2Dec dec;
  Bcj2Dec_Init(&dec);
  for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    dec.bufs[s] = inputs[s];
    dec.lims[s] = inputs[s] + sizes[s];
  }
  dec.dest = out;
  dec.destLim = out + outSize;
  RINOK(Bcj2Dec_Decode(&dec))
  // Every input was whole from the start, so one call either fills the output or meets the
  // end of an input too early.
  if (dec.dest != dec.destLim || dec.bufs[BCJ2_STREAM_MAIN] != dec.lims[BCJ2_STREAM_MAIN] ||
      !Bcj2Dec_IsMaybeFinished(&dec)) {
    return SZ_ERROR_DATA;
  }
  return SZ_OK;
}

}  // namespace

void LogDecodeFailure(int kind) {
  static const char* const kLines[] = {
      "inStream->Look  not SZ_OK",
      "LzmaDec_DecodeToDic not SZ_OK",
      "state or status are not valid",
      "inStream->Skip not SZ_OK",
  };
  if (kind < 0 || kind > 3) return;
  CurrentDecodeHost().LogLine(1, kLines[kind]);
}

SRes DecodeLzmaCoder(const Byte* props, unsigned propsSize, UInt64 packSize,
                     ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize,
                     ISzAllocPtr alloc) {
  CoderSteps steps(CurrentDecodeHost());
  CLzmaDec state;
  LzmaDec_Construct(&state);
  RINOK(LzmaDec_AllocateProbs(&state, props, propsSize, alloc))
  // The output buffer is the dictionary: the decoder writes in place, nothing is copied.
  state.dic = outBuffer;
  state.dicBufSize = outSize;
  LzmaDec_Init(&state);

  SRes res = SZ_OK;
  for (;;) {
    const void* inBuf = nullptr;
    size_t looked = packSize < kLookRequest ? static_cast<size_t>(packSize) : kLookRequest;
    res = ILookInStream_Look(inStream, &inBuf, &looked);
    if (res != SZ_OK) {
      LogDecodeFailure(kDecodeFailureLook);
      break;
    }

    const SizeT startPos = state.dicPos;
    SizeT used = looked;
    ELzmaStatus status;
    res = LzmaDec_DecodeToDic(&state, outSize, static_cast<const Byte*>(inBuf), &used,
                              LZMA_FINISH_END, &status);
    packSize -= used;
    if (res != SZ_OK) {
      LogDecodeFailure(kDecodeFailureDecode);
      break;
    }

    // The coder ends at its end mark, or where its output is complete and no mark follows.
    // Either way that must be exactly the end of its output and of its packed data. Output
    // that is complete while its end mark runs on past this look is not the end yet: the
    // decoder has kept what it saw of the mark and asks for the rest.
    const bool ended = status == LZMA_STATUS_FINISHED_WITH_MARK ||
                       status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK;
    const bool stuck = used == 0 && state.dicPos == startPos;
    if (ended || stuck) {
      if (!ended || state.dicPos != outSize || packSize != 0) {
        LogDecodeFailure(kDecodeFailureEndState);
        res = SZ_ERROR_DATA;
      }
      break;
    }

    if (!steps.BetweenSteps(startPos)) break;
    res = ILookInStream_Skip(inStream, used);
    if (res != SZ_OK) {
      LogDecodeFailure(kDecodeFailureSkip);
      break;
    }
  }
  LzmaDec_FreeProbs(&state, alloc);
  return res;
}

SRes DecodeLzma2Coder(const Byte* props, unsigned propsSize, UInt64 packSize,
                      ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize,
                      ISzAllocPtr alloc) {
  if (propsSize != 1) return SZ_ERROR_DATA;
  CoderSteps steps(CurrentDecodeHost());
  CLzma2Dec state;
  Lzma2Dec_Construct(&state);
  RINOK(Lzma2Dec_AllocateProbs(&state, props[0], alloc))
  state.decoder.dic = outBuffer;
  state.decoder.dicBufSize = outSize;
  Lzma2Dec_Init(&state);

  SRes res = SZ_OK;
  for (;;) {
    const void* inBuf = nullptr;
    size_t looked = packSize < kLookRequest ? static_cast<size_t>(packSize) : kLookRequest;
    res = ILookInStream_Look(inStream, &inBuf, &looked);
    if (res != SZ_OK) break;
    const SizeT startPos = state.decoder.dicPos;
    SizeT used = looked;
    ELzmaStatus status;
    res = Lzma2Dec_DecodeToDic(&state, outSize, static_cast<const Byte*>(inBuf), &used,
                               LZMA_FINISH_END, &status);
    packSize -= used;
    if (res != SZ_OK) break;
    // Chunks carry their own sizes; the stream ends with its end byte, which must come
    // exactly where both the output and the packed data end.
    const bool ended = status == LZMA_STATUS_FINISHED_WITH_MARK;
    const bool stuck = used == 0 && state.decoder.dicPos == startPos;
    if (ended || stuck) {
      if (!ended || state.decoder.dicPos != outSize || packSize != 0) res = SZ_ERROR_DATA;
      break;
    }
    if (!steps.BetweenSteps(startPos)) break;
    res = ILookInStream_Skip(inStream, used);
    if (res != SZ_OK) break;
  }
  Lzma2Dec_FreeProbs(&state, alloc);
  return res;
}

}  // namespace zelko

// Called by the SDK's archive reader for packed headers and for entries.
SRes SzAr_DecodeFolder(const CSzAr* p, UInt32 folderIndex, ILookInStreamPtr inStream,
                       UInt64 startPos, Byte* outBuffer, size_t outSize, ISzAllocPtr allocMain) {
  using namespace zelko;
  FolderLayout layout;
  RINOK(ReadLayout(p, folderIndex, startPos, &layout))
  RINOK(CheckSupported(layout))
  const UInt32 top = layout.folder.UnpackStream;
  if (layout.unpackSizes[top] != outSize) return SZ_ERROR_DATA;

  const CSzCoderInfo& topInfo = layout.folder.Coders[top];
  switch (KindOf(topInfo.MethodID)) {
    case CoderKind::kMain:
      RINOK(DecodeMainCoder(layout, top, inStream, outBuffer, outSize, allocMain))
      break;
    case CoderKind::kFilter: {
      StreamSource source;
      RINOK(SourceOf(layout, top, 0, &source))
      RINOK(DecodeMainCoder(layout, source.index, inStream, outBuffer, outSize, allocMain))
      DecodeHost& host = CurrentDecodeHost();
      if (!host.IsFinished() && !host.IsCancelled()) {
        RINOK(ApplyFilter(layout, topInfo, outBuffer, outSize))
      }
      break;
    }
    case CoderKind::kBcj2:
      RINOK(DecodeBcj2Folder(layout, inStream, outBuffer, outSize, allocMain))
      break;
    default:
      return SZ_ERROR_UNSUPPORTED;
  }

  if (SzBitWithVals_Check(&p->FolderCRCs, folderIndex) &&
      CrcCalc(outBuffer, outSize) != p->FolderCRCs.Vals[folderIndex]) {
    return SZ_ERROR_CRC;
  }
  return SZ_OK;
}
