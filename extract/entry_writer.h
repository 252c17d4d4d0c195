// The entries of an opened archive written into a folder in archive order:
// directories and empty files where they stand, and the files of each folder as the folder
// is decoded, front to back (extract/folder_stream.h). A file is finished (its check sum
// tested, its time set, closed, its attributes set) as soon as its last byte is written.
#pragma once

#include <windows.h>

#include <string>

#include "7zFile.h"
#include "7zTypes.h"
#include "extract/sdk_archive.h"

namespace zelko {

// Extracts every entry of `db`, read through `stream`, into the folder `root` (a full path,
// without a trailing backslash). Every file call takes the entry's full path, in its long
// form where it is long (LongPathForm), so no entry depends on MAX_PATH or on the system's
// long-path policy. SZ_OK when every entry was written or
// the run was stopped between two entries; otherwise the first failure, with the system
// error of the call that failed in `*failureError` (0 when none did: a bad check sum, damaged
// data). A file whose check sum fails is deleted; a file that its folder's damaged data or a
// cancel cut short is deleted or left as written, as the run's log line says.
SRes WriteArchiveEntries(ArchiveDatabase& db, ILookInStreamPtr stream, const std::wstring& root,
                         DWORD* failureError);

// Writes `*size` bytes to `file` in chunks of at most 4 MiB, looking at the run's flags
// before each: it stops early once the run is finished and waits while it is paused. Each
// chunk reports the whole KB it completes of the file's `*fileBytes` so far, so a file
// written in pieces reports every KB once. Returns the system error of a failed write (0 when
// none); `*size` becomes the number of bytes written.
DWORD WriteFileChunks(HANDLE file, const void* data, size_t* size, UInt64* fileBytes);

// Closes `file` (an SDK file) and leaves the last error as it was.
void CloseKeepingLastError(CSzFile* file);

}  // namespace zelko
