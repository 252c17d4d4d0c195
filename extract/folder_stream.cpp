#include "extract/folder_stream.h"

#include <cstring>

#include "7zCrc.h"
#include "Bcj2.h"
#include "Bra.h"
#include "CpuArch.h"
#include "Delta.h"
#include "extract/decode_host.h"
#include "extract/folder_decoder.h"
#include "extract/folder_layout.h"

namespace zelko {
namespace {

// What a filter stage holds between the main coder and the sink.
constexpr size_t kStageBuffer = OutputWindow::kPieceSize;

// Memory from the decoder's allocator, released on every path.
class StageBuffer {
 public:
  explicit StageBuffer(ISzAllocPtr alloc) : alloc_(alloc) {}
  ~StageBuffer() { ISzAlloc_Free(alloc_, data_); }
  StageBuffer(const StageBuffer&) = delete;
  StageBuffer& operator=(const StageBuffer&) = delete;

  bool Allocate(size_t size) {
    data_ = size == 0 ? nullptr : static_cast<Byte*>(ISzAlloc_Alloc(alloc_, size));
    size_ = size;
    return size == 0 || data_ != nullptr;
  }
  Byte* get() const { return data_; }
  size_t size() const { return size_; }

 private:
  ISzAllocPtr alloc_;
  Byte* data_ = nullptr;
  size_t size_ = 0;
};

bool RunStopped() {
  DecodeHost& host = CurrentDecodeHost();
  return host.IsFinished() || host.IsCancelled();
}

// Counts and check-sums the folder's output on its way to the caller's sink.
class CheckedSink : public FolderSink {
 public:
  explicit CheckedSink(FolderSink& next) : next_(next) {}
  SRes Put(const Byte* data, size_t size) override {
    crc_ = CrcUpdate(crc_, data, size);
    total_ += size;
    return next_.Put(data, size);
  }
  UInt64 total() const { return total_; }
  UInt32 digest() const { return CRC_GET_DIGEST(crc_); }

 private:
  FolderSink& next_;
  UInt32 crc_ = CRC_INIT_VAL;
  UInt64 total_ = 0;
};

// A branch or delta filter over a stream: each call converts what it can and says how much;
// the few bytes an instruction may still need wait for the next call.
class FilterCoder {
 public:
  SRes Init(const FolderLayout& layout, const CSzCoderInfo& info) {
    method_ = info.MethodID;
    const Byte* props = layout.codersData + info.PropsOffset;
    if (method_ == kMethodDelta) {
      if (info.PropsSize != 1) return SZ_ERROR_UNSUPPORTED;
      delta_ = static_cast<unsigned>(props[0]) + 1;
      Delta_Init(deltaState_);
      return SZ_OK;
    }
    // ARM64 and RISC-V may carry a start address; the older filters never do.
    if (method_ == kMethodArm64 || method_ == kMethodRiscv) {
      if (info.PropsSize == 4) {
        // The properties lie at any address in the header: read byte by byte.
        pc_ = static_cast<UInt32>(props[0]) | static_cast<UInt32>(props[1]) << 8 |
              static_cast<UInt32>(props[2]) << 16 | static_cast<UInt32>(props[3]) << 24;
        if ((pc_ & (method_ == kMethodArm64 ? 3u : 1u)) != 0) return SZ_ERROR_UNSUPPORTED;
      } else if (info.PropsSize != 0) {
        return SZ_ERROR_UNSUPPORTED;
      }
    } else if (info.PropsSize != 0) {
      return SZ_ERROR_UNSUPPORTED;
    }
    return KindOf(method_) == CoderKind::kFilter ? SZ_OK : SZ_ERROR_UNSUPPORTED;
  }

  // Converts the start of `data` in place; returns how many bytes are done.
  SizeT Convert(Byte* data, SizeT size) {
    Byte* end = data + size;
    switch (method_) {
      case kMethodDelta:
        Delta_Decode(deltaState_, delta_, data, size);
        break;
      case kMethodX86:
      case kMethodBcjX86:
        end = z7_BranchConvSt_X86_Dec(data, size, pc_, &x86State_);
        break;
      case kMethodPpc:
      case kMethodPpcLong:
        end = z7_BranchConv_PPC_Dec(data, size, pc_);
        break;
      case kMethodIa64:
      case kMethodIa64Long:
        end = z7_BranchConv_IA64_Dec(data, size, pc_);
        break;
      case kMethodArm:
      case kMethodArmLong:
        end = z7_BranchConv_ARM_Dec(data, size, pc_);
        break;
      case kMethodArmt:
      case kMethodArmtLong:
        end = z7_BranchConv_ARMT_Dec(data, size, pc_);
        break;
      case kMethodSparc:
      case kMethodSparcLong:
        end = z7_BranchConv_SPARC_Dec(data, size, pc_);
        break;
      case kMethodArm64:
        end = z7_BranchConv_ARM64_Dec(data, size, pc_);
        break;
      case kMethodRiscv:
        end = z7_BranchConv_RISCV_Dec(data, size, pc_);
        break;
      default:
        break;
    }
    const SizeT done = static_cast<SizeT>(end - data);
    pc_ += static_cast<UInt32>(done);
    return done;
  }

 private:
  UInt32 method_ = 0;
  UInt32 pc_ = 0;
  UInt32 x86State_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
  unsigned delta_ = 1;
  Byte deltaState_[DELTA_STATE_SIZE] = {};
};

// Gathers the main coder's output, converts it and hands it on; what the converter leaves
// for lack of the bytes after it moves to the buffer's front.
class FilterSink : public FolderSink {
 public:
  FilterSink(FilterCoder& coder, FolderSink& next, Byte* buffer, size_t capacity)
      : coder_(coder), next_(next), buffer_(buffer), capacity_(capacity) {}

  SRes Put(const Byte* data, size_t size) override {
    received_ += size;
    while (size != 0) {
      const size_t n = capacity_ - filled_ < size ? capacity_ - filled_ : size;
      memcpy(buffer_ + filled_, data, n);
      filled_ += n;
      data += n;
      size -= n;
      if (filled_ == capacity_) RINOK(Pass(coder_.Convert(buffer_, filled_)))
    }
    return SZ_OK;
  }
  // At the end of the input the rest goes on as it is: no instruction is that short.
  SRes Finish() {
    coder_.Convert(buffer_, filled_);
    return Pass(filled_);
  }
  UInt64 received() const { return received_; }

 private:
  SRes Pass(size_t done) {
    const SRes res = done == 0 ? SZ_OK : next_.Put(buffer_, done);
    memmove(buffer_, buffer_ + done, filled_ - done);
    filled_ -= done;
    return res;
  }

  FilterCoder& coder_;
  FolderSink& next_;
  Byte* buffer_;
  size_t capacity_;
  size_t filled_ = 0;
  UInt64 received_ = 0;
};

// BCJ2 over its main stream as it comes out of its coder, with the call, jump and range-coder
// streams at hand.
class Bcj2Sink : public FolderSink {
 public:
  Bcj2Sink(CBcj2Dec& dec, FolderSink& next, Byte* buffer, size_t capacity, UInt64 outSize)
      : dec_(dec), next_(next), buffer_(buffer), capacity_(capacity), outSize_(outSize) {}

  SRes Put(const Byte* data, size_t size) override {
    received_ += size;
    dec_.bufs[BCJ2_STREAM_MAIN] = data;
    dec_.lims[BCJ2_STREAM_MAIN] = data + size;
    const SRes res = Run();
    // The piece belongs to the window, which is written over next.
    dec_.bufs[BCJ2_STREAM_MAIN] = dec_.lims[BCJ2_STREAM_MAIN] = nullptr;
    return res;
  }
  // After the whole main stream: the output must be complete, every input used up exactly,
  // and the decoder between two instructions with its range coder at rest.
  SRes Finish() {
    RINOK(Run())
    for (unsigned s = 0; s < BCJ2_NUM_STREAMS; ++s) {
      if (dec_.bufs[s] != dec_.lims[s]) return SZ_ERROR_DATA;
    }
    return produced_ == outSize_ && Bcj2Dec_IsMaybeFinished(&dec_) ? SZ_OK : SZ_ERROR_DATA;
  }
  UInt64 received() const { return received_; }

 private:
  // Decodes until the main stream is used up; a side stream that runs out first is damage,
  // since each was whole from the start.
  SRes Run() {
    for (;;) {
      const UInt64 left = outSize_ - produced_;
      const size_t room = left < capacity_ ? static_cast<size_t>(left) : capacity_;
      if (room == 0) return SZ_OK;
      dec_.dest = buffer_;
      dec_.destLim = buffer_ + room;
      RINOK(Bcj2Dec_Decode(&dec_))
      const size_t n = static_cast<size_t>(dec_.dest - buffer_);
      produced_ += n;
      if (n != 0) RINOK(next_.Put(buffer_, n))
      if (dec_.dest == dec_.destLim) continue;
      return dec_.state == BCJ2_STREAM_MAIN ? SZ_OK : SZ_ERROR_DATA;
    }
  }

  CBcj2Dec& dec_;
  FolderSink& next_;
  Byte* buffer_;
  size_t capacity_;
  UInt64 outSize_;
  UInt64 produced_ = 0;
  UInt64 received_ = 0;
};

// Streams main coder `coder` through a window of its own into `sink`.
SRes StreamMainCoder(const FolderLayout& layout, UInt32 coder, ILookInStreamPtr inStream,
                     FolderSink& sink, ISzAllocPtr alloc) {
  size_t windowSize = 0;
  RINOK(MainCoderWindowSize(layout, coder, &windowSize))
  OutputWindow out(windowSize, layout.unpackSizes[coder], &sink, alloc);
  return DecodeMainCoder(layout, coder, inStream, out, alloc);
}

SRes StreamFiltered(const FolderLayout& layout, ILookInStreamPtr inStream, FolderSink& sink,
                    ISzAllocPtr alloc) {
  const UInt32 top = layout.folder.UnpackStream;
  StreamSource source;
  RINOK(SourceOf(layout, top, 0, &source))
  if (layout.unpackSizes[source.index] != layout.unpackSizes[top]) return SZ_ERROR_DATA;
  FilterCoder coder;
  RINOK(coder.Init(layout, layout.folder.Coders[top]))
  StageBuffer buffer(alloc);
  if (!buffer.Allocate(kStageBuffer)) return SZ_ERROR_MEM;
  FilterSink filter(coder, sink, buffer.get(), buffer.size());
  RINOK(StreamMainCoder(layout, source.index, inStream, filter, alloc))
  if (filter.received() != layout.unpackSizes[source.index]) return SZ_OK;  // stopped
  return filter.Finish();
}

// BCJ2 over its four inputs. The call, jump and range-coder streams are decoded first, whole
// (a small part of the output: one entry per converted instruction); the main stream, nearly
// as large as the output, then streams through its coder's window.
SRes StreamBcj2(const FolderLayout& layout, ILookInStreamPtr inStream, FolderSink& sink,
                ISzAllocPtr alloc) {
  const UInt32 top = layout.folder.UnpackStream;
  StreamSource sources[BCJ2_NUM_STREAMS];
  size_t sizes[BCJ2_NUM_STREAMS];
  for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    RINOK(SourceOf(layout, top, s, &sources[s]))
    const UInt64 size = sources[s].packed ? layout.packSizes[sources[s].index]
                                          : layout.unpackSizes[sources[s].index];
    if (!ToSize(size, &sizes[s])) return SZ_ERROR_MEM;
  }
  const UInt64 outSize = layout.unpackSizes[top];
  const size_t mainSize = sizes[BCJ2_STREAM_MAIN];
  const size_t callSize = sizes[BCJ2_STREAM_CALL];
  const size_t jumpSize = sizes[BCJ2_STREAM_JUMP];
  // The output is the main stream with the call and jump addresses put back in; anything
  // else is damage.
  if (mainSize > outSize || outSize - mainSize != static_cast<UInt64>(callSize) + jumpSize ||
      (callSize & 3) != 0 || (jumpSize & 3) != 0) {
    return SZ_ERROR_DATA;
  }

  StageBuffer side[BCJ2_NUM_STREAMS] = {StageBuffer(alloc), StageBuffer(alloc),
                                        StageBuffer(alloc), StageBuffer(alloc)};
  CBcj2Dec dec;
  Bcj2Dec_Init(&dec);
  dec.bufs[BCJ2_STREAM_MAIN] = dec.lims[BCJ2_STREAM_MAIN] = nullptr;
  for (UInt32 s = 0; s < BCJ2_NUM_STREAMS; ++s) {
    if (s == BCJ2_STREAM_MAIN) continue;
    if (!side[s].Allocate(sizes[s])) return SZ_ERROR_MEM;
    if (sources[s].packed) {
      RINOK(LookInStream_SeekTo(inStream, layout.packPositions[sources[s].index]))
      RINOK(LookInStream_Read(inStream, side[s].get(), sizes[s]))
    } else {
      OutputWindow whole(side[s].get(), sizes[s]);
      RINOK(DecodeMainCoder(layout, sources[s].index, inStream, whole, alloc))
      if (RunStopped()) return SZ_OK;  // a cancel: nothing of the folder was handed on
    }
    dec.bufs[s] = side[s].get();
    dec.lims[s] = side[s].get() + sizes[s];
  }

  StageBuffer buffer(alloc);
  if (!buffer.Allocate(kStageBuffer)) return SZ_ERROR_MEM;
  Bcj2Sink bcj2(dec, sink, buffer.get(), buffer.size(), outSize);
  const StreamSource& main = sources[BCJ2_STREAM_MAIN];
  if (main.packed) {
    StageBuffer window(alloc);
    const size_t windowSize = mainSize < kStageBuffer ? mainSize : kStageBuffer;
    if (!window.Allocate(windowSize)) return SZ_ERROR_MEM;
    OutputWindow out(window.get(), windowSize, mainSize, &bcj2);
    RINOK(CopyPackedStream(layout.packPositions[main.index], layout.packSizes[main.index],
                           inStream, out))
  } else {
    RINOK(StreamMainCoder(layout, main.index, inStream, bcj2, alloc))
  }
  if (bcj2.received() != mainSize) return SZ_OK;  // stopped
  return bcj2.Finish();
}

}  // namespace

SRes StreamFolder(const CSzAr* p, UInt32 folderIndex, ILookInStreamPtr inStream,
                  UInt64 startPos, FolderSink& sink, ISzAllocPtr alloc) {
  FolderLayout layout;
  RINOK(ReadLayout(p, folderIndex, startPos, &layout))
  RINOK(CheckSupported(layout))
  const UInt32 top = layout.folder.UnpackStream;
  CheckedSink checked(sink);
  switch (KindOf(layout.folder.Coders[top].MethodID)) {
    case CoderKind::kMain:
      RINOK(StreamMainCoder(layout, top, inStream, checked, alloc))
      break;
    case CoderKind::kFilter:
      RINOK(StreamFiltered(layout, inStream, checked, alloc))
      break;
    case CoderKind::kBcj2:
      RINOK(StreamBcj2(layout, inStream, checked, alloc))
      break;
    default:
      return SZ_ERROR_UNSUPPORTED;
  }
  if (checked.total() != layout.unpackSizes[top]) {
    return RunStopped() ? SZ_OK : SZ_ERROR_DATA;
  }
  if (SzBitWithVals_Check(&p->FolderCRCs, folderIndex) &&
      checked.digest() != p->FolderCRCs.Vals[folderIndex]) {
    return SZ_ERROR_CRC;
  }
  return SZ_OK;
}

}  // namespace zelko
