// Decoding of one 7z folder front to back, for the extraction: the main coder runs through a
// window of its dictionary's size (extract/output_window.h), a branch filter or BCJ2 converts
// what comes out of it with a small carry-over, and the folder's output goes to a sink in
// pieces, in order. The memory this takes depends on the coders, not on the folder's size.
#pragma once

#include "7z.h"
#include "extract/output_window.h"

namespace zelko {

// Decodes folder `folderIndex` of `p` (whose packed streams start at `startPos` of
// `inStream`) and hands its whole output to `sink`, checking the folder's check sum where the
// archive stores one. Progress, pause and cancel as the coder loops do them: a finished or
// cancelled run returns SZ_OK with the output incomplete, so the sink knows a cancel by what
// it got. A failing sink stops the decoding with its own result.
SRes StreamFolder(const CSzAr* p, UInt32 folderIndex, ILookInStreamPtr inStream,
                  UInt64 startPos, FolderSink& sink, ISzAllocPtr alloc);

}  // namespace zelko
