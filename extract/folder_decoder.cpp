#include "extract/folder_decoder.h"

#include <cstring>
#include <vector>

#include "7z.h"
#include "7zCrc.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
#include "extract/coder_steps.h"
#include "extract/decode_host.h"
#include "extract/folder_stream.h"
#include "extract/lzma2_blocks.h"

namespace zelko {
namespace {

// At most this much input is asked for per step; the look-ahead stream hands out less.
constexpr size_t kLookRequest = 1 << 18;
// Stored data is read straight into the output in steps of this size.
constexpr SizeT kCopyStep = 1 << 18;
// A window is never smaller than one piece for the writer, so that a small dictionary does
// not turn into many small writes.
constexpr size_t kMinWindow = OutputWindow::kPieceSize;
// LZMA2's property byte: 40 means the largest dictionary, above is invalid.
constexpr Byte kLzma2MaxProp = 40;

SRes RunLzma(const Byte* props, unsigned propsSize, UInt64 packSize, ILookInStreamPtr inStream,
             OutputWindow& out, ISzAllocPtr alloc) {
  RINOK(out.Prepare())
  CoderSteps steps(CurrentDecodeHost());
  CLzmaDec state;
  LzmaDec_Construct(&state);
  RINOK(LzmaDec_AllocateProbs(&state, props, propsSize, alloc))
  // The decoder writes straight into the output or the window: nothing is copied.
  state.dic = out.buffer();
  state.dicBufSize = out.size();
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
    const UInt64 startTotal = out.Total(startPos);
    const SizeT limit = out.Limit(startPos);
    SizeT used = looked;
    ELzmaStatus status;
    res = LzmaDec_DecodeToDic(&state, limit, static_cast<const Byte*>(inBuf), &used,
                              out.EndsOutput(limit) ? LZMA_FINISH_END : LZMA_FINISH_ANY,
                              &status);
    packSize -= used;
    if (res != SZ_OK) {
      LogDecodeFailure(kDecodeFailureDecode);
      break;
    }

    // The coder ends at its end mark, or where its output is complete and no mark follows.
    // Either way that must be exactly the end of its output and of its packed data. Output
    // that is complete while its end mark runs on past this look is not the end yet: the
    // decoder has kept what it saw of the mark and asks for the rest. At the end of a window
    // that is not the end of the output, "maybe finished" only means the range coder happens
    // to stand at zero.
    const bool complete = out.EndsOutput(state.dicPos);
    const bool ended = status == LZMA_STATUS_FINISHED_WITH_MARK ||
                       (status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && complete);
    const bool stuck = used == 0 && state.dicPos == startPos;
    if (ended || stuck) {
      if (!ended || !complete || packSize != 0) {
        LogDecodeFailure(kDecodeFailureEndState);
        res = SZ_ERROR_DATA;
      } else {
        res = out.Finish(state.dicPos);
      }
      break;
    }

    res = out.AfterStep(&state.dicPos);
    if (res != SZ_OK) break;
    if (!steps.BetweenSteps(static_cast<size_t>(startTotal))) break;
    res = ILookInStream_Skip(inStream, used);
    if (res != SZ_OK) {
      LogDecodeFailure(kDecodeFailureSkip);
      break;
    }
  }
  LzmaDec_FreeProbs(&state, alloc);
  return res;
}

SRes RunLzma2(Byte prop, UInt64 packSize, ILookInStreamPtr inStream, OutputWindow& out,
              ISzAllocPtr alloc) {
  RINOK(out.Prepare())
  CoderSteps steps(CurrentDecodeHost());
  CLzma2Dec state;
  Lzma2Dec_Construct(&state);
  RINOK(Lzma2Dec_AllocateProbs(&state, prop, alloc))
  state.decoder.dic = out.buffer();
  state.decoder.dicBufSize = out.size();
  Lzma2Dec_Init(&state);

  SRes res = SZ_OK;
  for (;;) {
    const void* inBuf = nullptr;
    size_t looked = packSize < kLookRequest ? static_cast<size_t>(packSize) : kLookRequest;
    res = ILookInStream_Look(inStream, &inBuf, &looked);
    if (res != SZ_OK) break;
    const SizeT startPos = state.decoder.dicPos;
    const UInt64 startTotal = out.Total(startPos);
    const SizeT limit = out.Limit(startPos);
    SizeT used = looked;
    ELzmaStatus status;
    res = Lzma2Dec_DecodeToDic(&state, limit, static_cast<const Byte*>(inBuf), &used,
                               out.EndsOutput(limit) ? LZMA_FINISH_END : LZMA_FINISH_ANY,
                               &status);
    packSize -= used;
    if (res != SZ_OK) break;
    // Chunks carry their own sizes; the stream ends with its end byte, which must come
    // exactly where both the output and the packed data end.
    const bool ended = status == LZMA_STATUS_FINISHED_WITH_MARK;
    const bool stuck = used == 0 && state.decoder.dicPos == startPos;
    if (ended || stuck) {
      if (!ended || !out.EndsOutput(state.decoder.dicPos) || packSize != 0) {
        res = SZ_ERROR_DATA;
      } else {
        res = out.Finish(state.decoder.dicPos);
      }
      break;
    }
    res = out.AfterStep(&state.decoder.dicPos);
    if (res != SZ_OK) break;
    if (!steps.BetweenSteps(static_cast<size_t>(startTotal))) break;
    res = ILookInStream_Skip(inStream, used);
    if (res != SZ_OK) break;
  }
  Lzma2Dec_FreeProbs(&state, alloc);
  return res;
}

// A stream of independent blocks is decoded by several threads when the run allows it.
// Anything else, and a stream whose blocks cannot be handed out, goes through the one-decoder
// loop, from the start of its data.
SRes DecodeLzma2(const Byte* props, unsigned propsSize, UInt64 packPosition, UInt64 packSize,
                 ILookInStreamPtr inStream, OutputWindow& out, ISzAllocPtr alloc) {
  if (propsSize != 1) return SZ_ERROR_DATA;
  DecodeHost& host = CurrentDecodeHost();
  const unsigned threads = host.DecodeThreads();
  size_t outSize = 0;
  if (threads > 1 && ToSize(out.outSize(), &outSize)) {
    std::vector<Lzma2Block> blocks;
    if (FindLzma2Blocks(inStream, packPosition, packSize, outSize, &blocks) &&
        blocks.size() > 1) {
      const SRes res = DecodeLzma2Blocks(
          props[0], inStream, packPosition, blocks, out.Streams() ? nullptr : out.buffer(),
          out.sink(), Lzma2WorkerCount(threads, blocks.size()), alloc, host);
      if (res != SZ_ERROR_THREAD) return res;
    }
    RINOK(LookInStream_SeekTo(inStream, packPosition))
  }
  return RunLzma2(props[0], packSize, inStream, out, alloc);
}

SRes RunCopy(UInt64 packSize, ILookInStreamPtr inStream, OutputWindow& out) {
  if (packSize != out.outSize()) return SZ_ERROR_DATA;
  RINOK(out.Prepare())
  CoderSteps steps(CurrentDecodeHost());
  SizeT pos = 0;
  while (!out.EndsOutput(pos)) {
    const UInt64 startTotal = out.Total(pos);
    const SizeT limit = out.Limit(pos);
    const SizeT step = limit - pos < kCopyStep ? limit - pos : kCopyStep;
    RINOK(LookInStream_Read(inStream, out.buffer() + pos, step))
    pos += step;
    if (out.EndsOutput(pos)) break;
    RINOK(out.AfterStep(&pos))
    if (!steps.BetweenSteps(static_cast<size_t>(startTotal))) return SZ_OK;
  }
  return out.Finish(pos);
}

// The dictionary a main coder's properties ask for; 0 for the copy coder.
SRes DictionaryOf(const CSzCoderInfo& info, const Byte* props, UInt64* size) {
  switch (info.MethodID) {
    case kMethodCopy:
      *size = 0;
      return SZ_OK;
    case kMethodLzma: {
      CLzmaProps decoded;
      RINOK(LzmaProps_Decode(&decoded, props, info.PropsSize))
      *size = decoded.dicSize;
      return SZ_OK;
    }
    case kMethodLzma2: {
      if (info.PropsSize != 1 || props[0] > kLzma2MaxProp) return SZ_ERROR_UNSUPPORTED;
      const Byte p = props[0];
      *size = p == kLzma2MaxProp ? 0xFFFFFFFFu : (static_cast<UInt64>(2 | (p & 1)) << (p / 2 + 11));
      return SZ_OK;
    }
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
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
  OutputWindow out(outBuffer, outSize);
  return RunLzma(props, propsSize, packSize, inStream, out, alloc);
}

SRes DecodeLzma2Coder(const Byte* props, unsigned propsSize, UInt64 packSize,
                      ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize,
                      ISzAllocPtr alloc) {
  if (propsSize != 1) return SZ_ERROR_DATA;
  OutputWindow out(outBuffer, outSize);
  return RunLzma2(props[0], packSize, inStream, out, alloc);
}

SRes CopyPackedStream(UInt64 packPosition, UInt64 packSize, ILookInStreamPtr inStream,
                      OutputWindow& out) {
  RINOK(LookInStream_SeekTo(inStream, packPosition))
  return RunCopy(packSize, inStream, out);
}

SRes MainCoderWindowSize(const FolderLayout& layout, UInt32 coder, size_t* size) {
  const CSzCoderInfo& info = layout.folder.Coders[coder];
  UInt64 dictionary = 0;
  RINOK(DictionaryOf(info, layout.codersData + info.PropsOffset, &dictionary))
  UInt64 window = dictionary < kMinWindow ? kMinWindow : dictionary;
  if (window > layout.unpackSizes[coder]) window = layout.unpackSizes[coder];
  return ToSize(window, size) ? SZ_OK : SZ_ERROR_MEM;
}

SRes DecodeMainCoder(const FolderLayout& layout, UInt32 coder, ILookInStreamPtr inStream,
                     OutputWindow& out, ISzAllocPtr alloc) {
  if (layout.unpackSizes[coder] != out.outSize()) return SZ_ERROR_DATA;
  StreamSource source;
  RINOK(SourceOf(layout, coder, 0, &source))
  const UInt64 packSize = layout.packSizes[source.index];
  RINOK(LookInStream_SeekTo(inStream, layout.packPositions[source.index]))
  const CSzCoderInfo& info = layout.folder.Coders[coder];
  const Byte* props = layout.codersData + info.PropsOffset;
  switch (info.MethodID) {
    case kMethodCopy:
      return RunCopy(packSize, inStream, out);
    case kMethodLzma:
      return RunLzma(props, info.PropsSize, packSize, inStream, out, alloc);
    case kMethodLzma2:
      return DecodeLzma2(props, info.PropsSize, layout.packPositions[source.index], packSize,
                         inStream, out, alloc);
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
}

}  // namespace zelko

namespace {

// Copies the folder's output into the caller's buffer.
class BufferSink : public zelko::FolderSink {
 public:
  BufferSink(Byte* buffer, size_t size) : next_(buffer), end_(buffer + size) {}
  SRes Put(const Byte* data, size_t size) override {
    if (size > static_cast<size_t>(end_ - next_)) return SZ_ERROR_DATA;
    if (size != 0) memcpy(next_, data, size);
    next_ += size;
    return SZ_OK;
  }

 private:
  Byte* next_;
  Byte* end_;
};

}  // namespace

// Called by the SDK's archive reader for packed headers (and by whoever extracts through the
// SDK): the output is one buffer. A folder of one main coder is decoded straight into it;
// a filtered folder goes through the streaming decoder and is copied in.
SRes SzAr_DecodeFolder(const CSzAr* p, UInt32 folderIndex, ILookInStreamPtr inStream,
                       UInt64 startPos, Byte* outBuffer, size_t outSize, ISzAllocPtr allocMain) {
  using namespace zelko;
  FolderLayout layout;
  RINOK(ReadLayout(p, folderIndex, startPos, &layout))
  RINOK(CheckSupported(layout))
  const UInt32 top = layout.folder.UnpackStream;
  if (layout.unpackSizes[top] != outSize) return SZ_ERROR_DATA;

  if (KindOf(layout.folder.Coders[top].MethodID) == CoderKind::kMain) {
    OutputWindow out(outBuffer, outSize);
    RINOK(DecodeMainCoder(layout, top, inStream, out, allocMain))
  } else {
    BufferSink sink(outBuffer, outSize);
    RINOK(StreamFolder(p, folderIndex, inStream, startPos, sink, allocMain))
  }

  // A cancelled decoding leaves the output incomplete, which the check sum then tells.
  if (SzBitWithVals_Check(&p->FolderCRCs, folderIndex) &&
      CrcCalc(outBuffer, outSize) != p->FolderCRCs.Vals[folderIndex]) {
    return SZ_ERROR_CRC;
  }
  return SZ_OK;
}
