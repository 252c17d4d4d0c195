// Decoding and writing side by side: the extracting thread decodes a folder and puts its
// output, in pieces, into a bounded queue; a writer thread takes the pieces out in order and
// hands them to the sink that makes the files. Only the writer thread touches that sink while
// the queue runs, and the first failure of either side stops the other.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "7zTypes.h"
#include "extract/decode_host.h"
#include "extract/decode_threads.h"
#include "extract/output_window.h"

namespace zelko {

// The run's host shared by the two threads: progress and log lines go through one lock, the
// flags and the pause wait as they are.
class SharedDecodeHost : public DecodeHost {
 public:
  explicit SharedDecodeHost(DecodeHost& inner) : inner_(inner) {}
  bool IsFinished() override { return inner_.IsFinished(); }
  bool IsCancelled() override { return inner_.IsCancelled(); }
  bool IsPaused() override { return inner_.IsPaused(); }
  void WaitWhilePaused() override { inner_.WaitWhilePaused(); }
  void ReportProgress(uint32_t amountKB) override;
  void LogLine(int level, const char* text) override;
  unsigned DecodeThreads() override { return inner_.DecodeThreads(); }
  // The lock of progress and log lines, for the writer's own log lines.
  DecodeMutex& lock() { return lock_; }

 private:
  DecodeHost& inner_;
  DecodeMutex lock_;
};

class WriteQueue : public FolderSink {
 public:
  // Pieces of at most this size; the queue holds kSlots of them.
  static constexpr size_t kSlotSize = OutputWindow::kPieceSize;
  static constexpr size_t kSlots = 4;

  // `host` is installed on the writer thread; the flags say when to stop waiting.
  WriteQueue(FolderSink& writer, DecodeHost& host) : writer_(writer), host_(host) {}
  ~WriteQueue();
  WriteQueue(const WriteQueue&) = delete;
  WriteQueue& operator=(const WriteQueue&) = delete;

  // Starts the writer thread with its buffers; false when the system gives neither, and the
  // caller then writes on its own thread.
  bool Start();

  // Copies the piece into the queue, waiting for room. The writer's first failure (or stop)
  // comes back here and stops the decoder. Once the run is finished the piece is dropped:
  // the decoder stops at its next step, the writer before its next chunk.
  SRes Put(const Byte* data, size_t size) override;

  // Waits until the writer has written every piece put so far, or, with `abandon` (the
  // decoder failed), until it has stopped and dropped the rest. Returns the writer's result.
  SRes Drain(bool abandon);

 private:
  struct Slot {
    Byte* data = nullptr;
    size_t size = 0;
  };
  static void Main(void* self);
  void Work();

  FolderSink& writer_;
  DecodeHost& host_;
  std::vector<std::unique_ptr<Byte[]>> memory_;
  DecodeThread thread_;

  DecodeMutex mutex_;  // everything below
  DecodeCondition wake_;
  std::vector<Slot> queue_;  // pieces in order, the first one being written
  std::vector<Byte*> free_;
  bool busy_ = false;        // the writer has taken the first piece
  bool abandon_ = false;
  bool quit_ = false;
  SRes result_ = SZ_OK;
};

}  // namespace zelko
