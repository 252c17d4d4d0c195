// The main coders of a 7z folder (LZMA, LZMA2, copy), each run by our own loop with progress,
// pause and cancel, into one buffer that takes the whole output or through a bounded window
// (extract/output_window.h). The SDK's archive reader calls SzAr_DecodeFolder, which this file
// provides in place of the SDK's own folder decoder, for the packed headers: the output is
// one buffer then. The extraction streams each folder instead (extract/folder_stream.h). An
// LZMA2 stream written in independent blocks is decoded on several threads
// (extract/lzma2_blocks.h) when the run allows more than one; any other LZMA2 stream goes
// through the one-decoder loop.
#pragma once

#include <cstddef>

#include "7zTypes.h"
#include "extract/folder_layout.h"
#include "extract/output_window.h"

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

// Runs main coder `coder` of `layout` over its packed stream (`inStream` is moved there) into
// `out`, which must be meant for exactly the coder's output. Progress, pause and cancel as
// above; a cancel returns SZ_OK with the output incomplete.
SRes DecodeMainCoder(const FolderLayout& layout, UInt32 coder, ILookInStreamPtr inStream,
                     OutputWindow& out, ISzAllocPtr alloc);

// Copies the packed stream of `packSize` bytes at `packPosition` into `out`, in steps as the
// copy coder does.
SRes CopyPackedStream(UInt64 packPosition, UInt64 packSize, ILookInStreamPtr inStream,
                      OutputWindow& out);

// The window main coder `coder` streams through: its dictionary, but at least one piece for
// the writer and at most its whole output.
SRes MainCoderWindowSize(const FolderLayout& layout, UInt32 coder, size_t* size);

}  // namespace zelko
