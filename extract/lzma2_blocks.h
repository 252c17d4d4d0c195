// Parallel decoding of an LZMA2 stream that is made of independent blocks. An encoder that
// splits its input into blocks starts each block with a chunk that resets the dictionary,
// the state and the properties, so a block decodes alone, straight into its own slice of the
// output. The chunk headers give every chunk's packed and unpacked size, so the blocks and
// their slices are known before any data is decoded.
#pragma once

#include <cstddef>
#include <vector>

#include "7zTypes.h"
#include "extract/output_window.h"

namespace zelko {

class DecodeHost;

// Never more decoding threads than this, whatever the machine has: beyond it the folder's
// memory traffic, not the processors, sets the pace.
constexpr unsigned kMaxLzma2Workers = 8;

// One independent run of chunks. Offsets count from the start of the packed stream and of
// the coder's output. The last block's packed bytes include the end mark.
struct Lzma2Block {
  UInt64 packOffset = 0;
  UInt64 packSize = 0;
  size_t unpackOffset = 0;
  size_t unpackSize = 0;
};

// Walks the chunk headers of the LZMA2 stream of `packSize` bytes at `packPosition` of
// `stream` (which it moves). True when the headers are sound: the stream begins with a
// dictionary reset, every header is valid and lies inside the packed bytes, the chunks unpack
// to exactly `outSize` bytes and the end mark is the last packed byte. `blocks` then holds the
// blocks in stream order; dictionary resets closer together than a small minimum of output
// are kept in one block. False on anything else, also on a read failure: the stream is then
// left to the one-decoder path, which reports what is wrong with it exactly as it always has.
bool FindLzma2Blocks(ILookInStreamPtr stream, UInt64 packPosition, UInt64 packSize,
                     size_t outSize, std::vector<Lzma2Block>* blocks);

// Decodes `blocks` (as FindLzma2Blocks found them; two or more) of the stream at
// `packPosition` into `out` with up to `workers` threads, each block straight into its own
// slice; or, when `sink` is given (and `out` null), each worker into a buffer of one block,
// which the calling thread hands to `sink` in the blocks' order, so the memory is that of
// one block per worker. A failing sink stops the workers, and its result is returned. The calling thread meanwhile reports the progress in KB to `host`, waits while it is
// paused (the workers then stop within two steps of 256 KiB) and stops the workers once the
// run is finished or cancelled, returning SZ_OK with the output incomplete. A failing block
// stops the blocks after it; the result is then that of the first failing block, the one the
// one-decoder path would have met first. SZ_ERROR_THREAD when no worker could be started
// (nothing has been decoded then).
SRes DecodeLzma2Blocks(Byte prop, ILookInStreamPtr stream, UInt64 packPosition,
                       const std::vector<Lzma2Block>& blocks, Byte* out, FolderSink* sink,
                       unsigned workers, ISzAllocPtr alloc, DecodeHost& host);

// How many threads a folder of `blocks` blocks is decoded with when the host allows
// `hostThreads`.
unsigned Lzma2WorkerCount(unsigned hostThreads, size_t blocks);

}  // namespace zelko
