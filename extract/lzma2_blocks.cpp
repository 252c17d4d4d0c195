#include "extract/lzma2_blocks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "CpuArch.h"
#include "Lzma2Dec.h"
#include "extract/decode_host.h"
#include "extract/decode_threads.h"

namespace zelko {
namespace {

// Chunk control bytes: 0 ends the stream; 1 and 2 head a stored chunk (1 with a dictionary
// reset); from 0x80 an LZMA chunk, whose bits 5 and 6 say what it resets (0xE0 and up: the
// dictionary too) and whose low five bits are the top of its unpacked size.
constexpr Byte kControlEnd = 0x00;
constexpr Byte kControlStoredResetDic = 0x01;
constexpr Byte kControlStored = 0x02;
constexpr Byte kControlLzma = 0x80;
constexpr Byte kControlLzmaResetDic = 0xE0;
constexpr Byte kControlLzmaNewProps = 0x40;
constexpr Byte kControlLzmaSizeBits = 0x1F;
constexpr size_t kStoredHeaderSize = 3;
constexpr size_t kLzmaHeaderSize = 5;  // one more with new properties

// Resets closer together than this stay in one block: a block is worth a hand-over, and the
// list of blocks stays small whatever the stream holds.
constexpr size_t kMinBlockUnpack = 1 << 20;
// Chunk headers are read through a small window; a stream of tiny chunks is then read once.
constexpr size_t kHeaderWindow = 4096;

// A worker decodes in steps of this much output, and between two steps it looks whether it
// has to stop. It runs at most kStepsAhead steps beyond what the calling thread has seen,
// which bounds the work done after a cancel and while paused.
constexpr SizeT kStepOutput = 1 << 18;
constexpr uint32_t kStepsAhead = 2;
constexpr size_t kInputBuffer = 1 << 18;
// The calling thread looks at the run's flags at least this often, even while no step ends.
constexpr unsigned kFlagPollMs = 10;
constexpr size_t kNoBlock = SIZE_MAX;
constexpr UInt64 kProgressUnit = 1024;

// A chunk header's 16-bit big-endian field, read byte by byte: the header bytes lie at any
// address.
UInt32 BigEndian16(const Byte* p) { return (static_cast<UInt32>(p[0]) << 8) | p[1]; }

class HeaderReader {
 public:
  HeaderReader(ILookInStreamPtr stream, UInt64 packPosition, UInt64 packSize)
      : stream_(stream), packPosition_(packPosition), packSize_(packSize) {}

  // Copies the `size` bytes at `pos` of the packed stream; false past its end or when the
  // stream fails.
  bool Get(UInt64 pos, size_t size, Byte* bytes) {
    if (pos > packSize_ || size > packSize_ - pos) return false;
    if (pos < start_ || pos - start_ + size > filled_) {
      const size_t n = static_cast<size_t>(std::min<UInt64>(kHeaderWindow, packSize_ - pos));
      filled_ = 0;
      if (LookInStream_SeekTo(stream_, packPosition_ + pos) != SZ_OK ||
          LookInStream_Read(stream_, window_, n) != SZ_OK) {
        return false;
      }
      start_ = pos;
      filled_ = n;
    }
    std::memcpy(bytes, window_ + (pos - start_), size);
    return true;
  }

 private:
  ILookInStreamPtr stream_;
  UInt64 packPosition_;
  UInt64 packSize_;
  UInt64 start_ = 0;
  size_t filled_ = 0;
  Byte window_[kHeaderWindow];
};

class ParallelLzma2;

// What one worker owns: its decoder and its input buffer, both from the folder's allocator.
struct Worker {
  explicit Worker(ISzAllocPtr allocator) : alloc(allocator) { Lzma2Dec_Construct(&decoder); }
  ~Worker() {
    Lzma2Dec_FreeProbs(&decoder, alloc);
    ISzAlloc_Free(alloc, input);
    ISzAlloc_Free(alloc, block);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // `blockSize` is the room for one block when the output streams, else 0.
  bool Prepare(Byte prop, size_t blockSize) {
    input = static_cast<Byte*>(ISzAlloc_Alloc(alloc, kInputBuffer));
    if (blockSize != 0) block = static_cast<Byte*>(ISzAlloc_Alloc(alloc, blockSize));
    return input != nullptr && (blockSize == 0 || block != nullptr) &&
           Lzma2Dec_AllocateProbs(&decoder, prop, alloc) == SZ_OK;
  }

  ISzAllocPtr alloc;
  CLzma2Dec decoder;
  Byte* input = nullptr;
  Byte* block = nullptr;  // the block being decoded or waiting to be handed on, when streaming
  // Guarded by the decode's mutex.
  size_t decodedBlock = kNoBlock;  // a whole block in `block`, not yet handed on
  uint32_t stepsDone = 0;
  uint32_t stepsAllowed = kStepsAhead;
  uint32_t nextAllowed = kStepsAhead;  // the calling thread's own
  ParallelLzma2* decode = nullptr;
  DecodeThread thread;
};

class ParallelLzma2 {
 public:
  ParallelLzma2(ILookInStreamPtr stream, UInt64 packPosition,
                const std::vector<Lzma2Block>& blocks, Byte* out, FolderSink* sink)
      : stream_(stream), packPosition_(packPosition), blocks_(blocks), out_(out), sink_(sink) {}

  // Starts up to `count` workers, then serves them until they are done or the run stops.
  SRes Run(Byte prop, unsigned count, ISzAllocPtr alloc, DecodeHost& host) {
    if (!StartWorkers(prop, count, alloc)) return SZ_ERROR_THREAD;
    const bool stopped = Serve(host);
    {
      std::lock_guard<DecodeMutex> lock(mutex_);
      stopAll_ = true;
    }
    workerWake_.NotifyAll();
    for (const std::unique_ptr<Worker>& worker : workers_) worker->thread.Join();
    if (sinkResult_ != SZ_OK) return sinkResult_;
    if (stopped) return SZ_OK;  // a cancel: the output stays incomplete, the check sum says so
    return firstFailed_ == kNoBlock ? SZ_OK : failedResult_;
  }

 private:
  bool StartWorkers(Byte prop, unsigned count, ISzAllocPtr alloc) {
    unsigned started = 0;
    for (unsigned n = 0; n < count; ++n) {
      std::unique_ptr<Worker> worker(new (std::nothrow) Worker(alloc));
      if (!worker || !worker->Prepare(prop, sink_ == nullptr ? 0 : LargestBlock())) break;
      Worker& w = *worker;
      try {
        workers_.push_back(std::move(worker));
      } catch (const std::bad_alloc&) {
        break;
      }
      w.decode = this;
      {
        std::lock_guard<DecodeMutex> lock(mutex_);
        ++running_;
      }
      if (!w.thread.Start(&ParallelLzma2::WorkerMain, &w)) {
        std::lock_guard<DecodeMutex> lock(mutex_);
        --running_;
        break;
      }
      ++started;
    }
    return started != 0;
  }

  size_t LargestBlock() const {
    size_t largest = 0;
    for (const Lzma2Block& block : blocks_) largest = std::max(largest, block.unpackSize);
    return largest;
  }

  // Hands the decoded blocks on to the sink in their order, as far as they are there; the
  // caller holds `lock`, which is let go while the sink writes. False when the sink failed.
  bool HandOnBlocks(std::unique_lock<DecodeMutex>& lock) {
    while (nextOut_ < blocks_.size() && nextOut_ < firstFailed_) {
      Worker* holder = nullptr;
      for (const std::unique_ptr<Worker>& worker : workers_) {
        if (worker->decodedBlock == nextOut_) holder = worker.get();
      }
      if (holder == nullptr) return true;
      lock.unlock();
      const SRes res = sink_->Put(holder->block, blocks_[nextOut_].unpackSize);
      lock.lock();
      if (res != SZ_OK) {
        sinkResult_ = res;
        return false;
      }
      holder->decodedBlock = kNoBlock;
      ++nextOut_;
      workerWake_.NotifyAll();
    }
    return true;
  }

  // The calling thread's part. True when the run was finished or cancelled, or the sink
  // failed.
  bool Serve(DecodeHost& host) {
    uint64_t reportedKB = 0;
    uint64_t seenEvents = 0;
    std::unique_lock<DecodeMutex> lock(mutex_);
    for (;;) {
      if (events_ == seenEvents) mainWake_.WaitFor(mutex_, kFlagPollMs);
      seenEvents = events_;
      const uint64_t producedKB = produced_ / kProgressUnit;
      const bool done = running_ == 0;
      // What the workers may do next counts from what is seen now, before the flags are
      // looked at, so that no worker gets further than kStepsAhead past that look.
      for (const std::unique_ptr<Worker>& worker : workers_) {
        worker->nextAllowed = worker->stepsDone + kStepsAhead;
      }
      lock.unlock();

      // The host may block (the pause), so the workers' lock is not held here. While the
      // pause lasts no step is granted, and the workers come to rest.
      bool stopped = host.IsFinished() || host.IsCancelled();
      if (!stopped && host.IsPaused()) {
        host.WaitWhilePaused();
        stopped = host.IsFinished() || host.IsCancelled();
      }
      if (stopped) return true;
      if (producedKB > reportedKB) {
        host.ReportProgress(static_cast<uint32_t>(producedKB - reportedKB));
        reportedKB = producedKB;
      }

      lock.lock();
      if (sink_ != nullptr && !HandOnBlocks(lock)) return true;
      if (done) return false;
      for (const std::unique_ptr<Worker>& worker : workers_) {
        worker->stepsAllowed = worker->nextAllowed;
      }
      workerWake_.NotifyAll();
    }
  }

  static void WorkerMain(void* worker) {
    Worker& w = *static_cast<Worker*>(worker);
    w.decode->Work(w);
  }

  // A worker: takes the next block until none is left or the decode stops.
  void Work(Worker& w) {
    for (;;) {
      size_t index;
      {
        std::lock_guard<DecodeMutex> lock(mutex_);
        if (stopAll_ || nextBlock_ >= blocks_.size() || nextBlock_ > firstFailed_) break;
        index = nextBlock_++;
      }
      bool whole = false;
      const SRes res = DecodeBlock(w, index, &whole);
      if (res == SZ_OK && whole && sink_ != nullptr) {
        // The block waits in the worker's buffer until the calling thread has handed it on.
        {
          std::lock_guard<DecodeMutex> lock(mutex_);
          w.decodedBlock = index;
          ++events_;
        }
        mainWake_.NotifyOne();
        std::lock_guard<DecodeMutex> lock(mutex_);
        while (!Stops(index) && nextOut_ <= index) workerWake_.Wait(mutex_);
      }
      if (res != SZ_OK) {
        std::lock_guard<DecodeMutex> lock(mutex_);
        if (index < firstFailed_) {
          firstFailed_ = index;
          failedResult_ = res;
        }
        workerWake_.NotifyAll();  // the workers on later blocks stop
      }
    }
    {
      std::lock_guard<DecodeMutex> lock(mutex_);
      --running_;
      ++events_;
    }
    mainWake_.NotifyOne();
  }

  // Whether the worker on block `index` stops; the caller holds the lock.
  bool Stops(size_t index) const { return stopAll_ || index > firstFailed_; }

  // Waits until the worker may run its next step; false when it is to stop instead.
  bool AwaitStep(Worker& w, size_t index) {
    std::lock_guard<DecodeMutex> lock(mutex_);
    while (!Stops(index) && w.stepsDone >= w.stepsAllowed) workerWake_.Wait(mutex_);
    return !Stops(index);
  }

  void EndStep(Worker& w, SizeT bytes) {
    {
      std::lock_guard<DecodeMutex> lock(mutex_);
      ++w.stepsDone;
      produced_ += bytes;
      ++events_;
    }
    mainWake_.NotifyOne();
  }

  SRes ReadInput(UInt64 pos, Byte* buffer, size_t size) {
    std::lock_guard<DecodeMutex> lock(streamMutex_);
    RINOK(LookInStream_SeekTo(stream_, packPosition_ + pos))
    return LookInStream_Read(stream_, buffer, size);
  }

  // Decodes block `index` into its slice: the decoder's dictionary is the slice itself. The
  // block began with a full reset, so a fresh decoder reads it exactly as one decoder going
  // through the whole stream would, and meets the same faults at the same places.
  SRes DecodeBlock(Worker& w, size_t index, bool* whole) {
    const Lzma2Block& block = blocks_[index];
    const bool last = index + 1 == blocks_.size();
    CLzma2Dec& dec = w.decoder;
    dec.decoder.dic = sink_ != nullptr ? w.block : out_ + block.unpackOffset;
    dec.decoder.dicBufSize = block.unpackSize;
    Lzma2Dec_Init(&dec);
    UInt64 readPos = block.packOffset;
    UInt64 unread = block.packSize;
    const Byte* in = nullptr;
    size_t avail = 0;
    for (;;) {
      if (!AwaitStep(w, index)) return SZ_OK;
      const SizeT start = dec.decoder.dicPos;
      const SizeT limit =
          block.unpackSize - start > kStepOutput ? start + kStepOutput : block.unpackSize;
      // The last step must end exactly where the block's chunks end.
      const ELzmaFinishMode mode =
          limit == block.unpackSize ? LZMA_FINISH_END : LZMA_FINISH_ANY;
      for (;;) {
        if (avail == 0 && unread != 0) {
          const size_t n = static_cast<size_t>(std::min<UInt64>(kInputBuffer, unread));
          RINOK(ReadInput(readPos, w.input, n))
          in = w.input;
          avail = n;
          readPos += n;
          unread -= n;
        }
        const SizeT before = dec.decoder.dicPos;
        SizeT used = avail;
        ELzmaStatus status;
        RINOK(Lzma2Dec_DecodeToDic(&dec, limit, in, &used, mode, &status))
        in += used;
        avail -= used;
        if (mode == LZMA_FINISH_END && avail == 0 && unread == 0) {
          // All of the block went in: it must have filled its slice and ended between two
          // chunks, the last block with the end mark.
          const ELzmaStatus expected =
              last ? LZMA_STATUS_FINISHED_WITH_MARK : LZMA_STATUS_NEEDS_MORE_INPUT;
          if (dec.decoder.dicPos != block.unpackSize || status != expected) {
            return SZ_ERROR_DATA;
          }
          EndStep(w, dec.decoder.dicPos - start);
          *whole = true;
          return SZ_OK;
        }
        if (mode == LZMA_FINISH_ANY && dec.decoder.dicPos == limit) break;
        if (used == 0 && dec.decoder.dicPos == before) return SZ_ERROR_DATA;
      }
      EndStep(w, limit - start);
    }
  }

  ILookInStreamPtr stream_;
  UInt64 packPosition_;
  const std::vector<Lzma2Block>& blocks_;
  Byte* out_;
  FolderSink* sink_;
  std::vector<std::unique_ptr<Worker>> workers_;

  DecodeMutex streamMutex_;  // the input stream, one read at a time
  DecodeMutex mutex_;        // everything below and the workers' step counts
  DecodeCondition workerWake_;
  DecodeCondition mainWake_;
  size_t nextBlock_ = 0;
  size_t firstFailed_ = kNoBlock;
  SRes failedResult_ = SZ_OK;
  size_t nextOut_ = 0;  // the next block to hand on, when streaming
  SRes sinkResult_ = SZ_OK;
  bool stopAll_ = false;
  unsigned running_ = 0;
  uint64_t produced_ = 0;
  uint64_t events_ = 0;
};

}  // namespace

bool FindLzma2Blocks(ILookInStreamPtr stream, UInt64 packPosition, UInt64 packSize,
                     size_t outSize, std::vector<Lzma2Block>* blocks) {
  blocks->clear();
  HeaderReader reader(stream, packPosition, packSize);
  UInt64 pos = 0;
  UInt64 unpacked = 0;
  auto closeLast = [&](UInt64 end) {
    Lzma2Block& b = blocks->back();
    b.packSize = end - b.packOffset;
    b.unpackSize = static_cast<size_t>(unpacked) - b.unpackOffset;
  };
  try {
    for (;;) {
      Byte header[kLzmaHeaderSize + 1];
      if (!reader.Get(pos, 1, header)) return false;
      const Byte control = header[0];
      if (control == kControlEnd) {
        if (blocks->empty() || pos + 1 != packSize || unpacked != outSize) return false;
        closeLast(packSize);
        return true;
      }
      size_t headerSize;
      UInt64 dataSize;
      UInt64 chunkUnpack;
      bool resetsDic;
      if (control == kControlStoredResetDic || control == kControlStored) {
        headerSize = kStoredHeaderSize;
        if (!reader.Get(pos, headerSize, header)) return false;
        dataSize = chunkUnpack = static_cast<UInt64>(BigEndian16(header + 1)) + 1;
        resetsDic = control == kControlStoredResetDic;
      } else if (control >= kControlLzma) {
        headerSize = kLzmaHeaderSize + ((control & kControlLzmaNewProps) ? 1 : 0);
        if (!reader.Get(pos, headerSize, header)) return false;
        chunkUnpack = ((static_cast<UInt64>(control & kControlLzmaSizeBits) << 16) |
                       BigEndian16(header + 1)) + 1;
        dataSize = static_cast<UInt64>(BigEndian16(header + 3)) + 1;
        resetsDic = control >= kControlLzmaResetDic;
      } else {
        return false;
      }
      if (blocks->empty() && !resetsDic) return false;
      if (resetsDic &&
          (blocks->empty() || unpacked - blocks->back().unpackOffset >= kMinBlockUnpack)) {
        if (!blocks->empty()) closeLast(pos);
        Lzma2Block block;
        block.packOffset = pos;
        block.unpackOffset = static_cast<size_t>(unpacked);
        blocks->push_back(block);
      }
      pos += headerSize + dataSize;
      unpacked += chunkUnpack;
      if (unpacked > outSize) return false;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
}

SRes DecodeLzma2Blocks(Byte prop, ILookInStreamPtr stream, UInt64 packPosition,
                       const std::vector<Lzma2Block>& blocks, Byte* out, FolderSink* sink,
                       unsigned workers, ISzAllocPtr alloc, DecodeHost& host) {
  ParallelLzma2 decode(stream, packPosition, blocks, out, sink);
  return decode.Run(prop, workers, alloc, host);
}

unsigned Lzma2WorkerCount(unsigned hostThreads, size_t blocks) {
  const size_t count = std::min<size_t>({hostThreads, kMaxLzma2Workers, blocks});
  return count == 0 ? 1 : static_cast<unsigned>(count);
}

}  // namespace zelko
