// Decoding of one 7z folder (solid block) into memory. The SDK's archive reader calls
// SzAr_DecodeFolder, which this file provides in place of the SDK's own folder decoder, so
// that every coder (LZMA, LZMA2, copy) runs our loops with progress, pause and cancel; the
// branch filters, Delta and BCJ2 run over the decoded output. An LZMA2 stream written in
// independent blocks is decoded on several threads (extract/lzma2_blocks.h) when the run
// allows more than one; any other LZMA2 stream goes through the one-decoder loop.
#pragma once

#include <cstddef>

#include "7zTypes.h"

namespace zelko {

// Kinds of decoder failure that get a run-log line.
enum DecodeFailureKind {
  kDecodeFailureLook = 0,
  kDecodeFailureDecode = 1,
  kDecodeFailureEndState = 2,
  kDecodeFailureSkip = 3,
};

// Writes the run-log line of `kind` (level 1); other kinds write nothing.
void LogDecodeFailure(int kind);

// Decodes one LZMA coder of `packSize` bytes from `inStream` (already positioned at its data)
// straight into `outBuffer`, which must take exactly `outSize` bytes. Between input steps it
// reports progress, waits while paused and stops with SZ_OK (output incomplete) once the run
// is finished or cancelled (CoderSteps). The coder must end exactly at the end of its output
// and of its packed data: at an end mark, or with the output complete and no mark after it.
// Returns SZ_OK or the first failing result.
SRes DecodeLzmaCoder(const Byte* props, unsigned propsSize, UInt64 packSize,
                     ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize,
                     ISzAllocPtr alloc);

// The same for one LZMA2 coder (`propsSize` must be 1), which must end with its end byte
// exactly at the end of both its output and its packed data. It reports, pauses and stops
// like the LZMA loop; it writes no run-log line.
SRes DecodeLzma2Coder(const Byte* props, unsigned propsSize, UInt64 packSize,
                      ILookInStreamPtr inStream, Byte* outBuffer, SizeT outSize,
                      ISzAllocPtr alloc);

}  // namespace zelko
