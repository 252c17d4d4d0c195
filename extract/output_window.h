// Where a coder's output goes. Either one buffer that takes all of it (the SDK's header reader
// decodes so), or a window of bounded size that the decoder fills front to back and that is
// handed on to a sink in pieces and then written over: the extraction decodes so, and its
// memory then depends on the window, never on the folder.
#pragma once

#include <cstddef>

#include "7zTypes.h"

namespace zelko {

// Takes a folder's output front to back.
class FolderSink {
 public:
  virtual ~FolderSink() = default;
  // The next `size` bytes. SZ_OK to go on; anything else stops the decoding, which then
  // returns that result as it is.
  virtual SRes Put(const Byte* data, size_t size) = 0;
};

class OutputWindow {
 public:
  // Hands a piece on once this much has gathered since the last one, even before the window
  // is full: the writer gets pieces large enough for few file calls, and soon enough.
  static constexpr size_t kPieceSize = 4u << 20;

  // The whole output of `outSize` bytes straight into `buffer`.
  OutputWindow(Byte* buffer, UInt64 outSize)
      : buffer_(buffer), size_(static_cast<size_t>(outSize)), outSize_(outSize) {}
  // `outSize` bytes through `buffer` of `size` bytes, handed to `sink`.
  OutputWindow(Byte* buffer, size_t size, UInt64 outSize, FolderSink* sink)
      : buffer_(buffer), size_(size), outSize_(outSize), sink_(sink) {}
  // The same through a window of `size` bytes that Prepare takes from `alloc` when a decoder
  // first needs it: the parallel LZMA2 decoder, with buffers of its own, never does.
  OutputWindow(size_t size, UInt64 outSize, FolderSink* sink, ISzAllocPtr alloc)
      : buffer_(nullptr), size_(size), outSize_(outSize), sink_(sink), alloc_(alloc) {}
  ~OutputWindow() {
    if (alloc_ != nullptr) ISzAlloc_Free(alloc_, buffer_);
  }
  OutputWindow(const OutputWindow&) = delete;
  OutputWindow& operator=(const OutputWindow&) = delete;

  // Makes sure the window has its memory; SZ_ERROR_MEM when it cannot be had.
  SRes Prepare() {
    if (alloc_ == nullptr || buffer_ != nullptr || size_ == 0) return SZ_OK;
    buffer_ = static_cast<Byte*>(ISzAlloc_Alloc(alloc_, size_));
    return buffer_ != nullptr ? SZ_OK : SZ_ERROR_MEM;
  }

  Byte* buffer() const { return buffer_; }
  // Whether the output goes through the window to a sink (false: the buffer takes it all).
  bool Streams() const { return sink_ != nullptr; }
  FolderSink* sink() const { return sink_; }
  size_t size() const { return size_; }
  UInt64 outSize() const { return outSize_; }

  // The output position of window position `pos`.
  UInt64 Total(size_t pos) const { return base_ + pos; }
  // How far a decoder at window position `pos` may write now: to the end of the window or of
  // the output, whichever comes first.
  size_t Limit(size_t pos) const {
    const UInt64 left = outSize_ - Total(pos);
    return size_ - pos < left ? size_ : pos + static_cast<size_t>(left);
  }
  // Whether a decoder at `limit` would be at the end of the output.
  bool EndsOutput(size_t limit) const { return Total(limit) == outSize_; }

  // After a step that left the decoder at `*pos`: hands on what has gathered when that is a
  // piece or fills the window, and starts the window again when it is full (`*pos` is then 0).
  SRes AfterStep(size_t* pos) {
    if (sink_ == nullptr) return SZ_OK;
    if (*pos - handed_ < kPieceSize && *pos != size_) return SZ_OK;
    const SRes res = sink_->Put(buffer_ + handed_, *pos - handed_);
    handed_ = *pos;
    if (*pos == size_) {
      base_ += size_;
      *pos = 0;
      handed_ = 0;
    }
    return res;
  }
  // Hands on the rest at the end of the output.
  SRes Finish(size_t pos) {
    if (sink_ == nullptr || pos == handed_) return SZ_OK;
    const SRes res = sink_->Put(buffer_ + handed_, pos - handed_);
    handed_ = pos;
    return res;
  }

 private:
  Byte* buffer_;
  size_t size_;
  UInt64 outSize_;
  FolderSink* sink_ = nullptr;
  ISzAllocPtr alloc_ = nullptr;  // the window's own allocator, when it owns its memory
  UInt64 base_ = 0;     // output before the window's start
  size_t handed_ = 0;   // window bytes already handed on
};

}  // namespace zelko
