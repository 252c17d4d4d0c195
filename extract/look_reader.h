// The look-ahead reader that the SDK's archive parser and extraction read through, over any
// seekable input stream (a file, or an archive in memory).
#pragma once

#include <cstddef>
#include <vector>

#include "7zTypes.h"

namespace zelko {

class LookAheadReader {
 public:
  // Reads `stream` (which must outlive the reader) through a buffer of `bufferSize` bytes, in
  // exact-look mode: a look never reads more than asked, so the decoder's steps stay small.
  LookAheadReader(const ISeekInStream* stream, size_t bufferSize) : buffer_(bufferSize) {
    LookToRead2_CreateVTable(&look_, False);
    look_.buf = buffer_.data();
    look_.bufSize = buffer_.size();
    look_.realStream = stream;
    LookToRead2_INIT(&look_);
  }
  // The SDK holds pointers into the reader: it stays where it was made.
  LookAheadReader(const LookAheadReader&) = delete;
  LookAheadReader& operator=(const LookAheadReader&) = delete;

  const ILookInStream* stream() const { return &look_.vt; }

 private:
  std::vector<Byte> buffer_;
  CLookToRead2 look_;
};

}  // namespace zelko
