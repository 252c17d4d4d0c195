// Unpacking a 7z archive file into a folder: directories, files, times and attributes, with
// progress, pause and cancel, and the SDK's results turned into the run's error conditions.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "7zTypes.h"

namespace zelko {

// Run states returned by ReportEntryProgress.
constexpr int kRunStateRunning = 0;
constexpr int kRunStateFinished = 1;
constexpr int kRunStatePaused = 2;

// Output is written in chunks of this size so that progress moves and a cancel takes effect
// inside large files.
constexpr size_t kOutputChunkSize = 4u << 20;

// Extracts every entry of the archive at `archivePath` into `targetFolder`, which is the
// process's current directory meanwhile and the saved one again afterwards. True when every
// entry was extracted; after a cancel the caller looks at the flags, not at this result.
BOOL ExtractFilesFromArchive(const std::wstring& archivePath, const std::wstring& targetFolder);

// Extracts the archive's entries into the current directory, each folder decoded once,
// front to back, its files written as their bytes come out (extract/entry_writer.h). Returns
// the SDK's result; a failure has recorded its condition (none after a cancel). Entry names that could reach
// outside the current directory or that Windows would not keep as given fail the whole
// archive with SZ_ERROR_ARCHIVE before anything is written.
SRes ExtractArchiveEntries(const std::wstring& archivePath);

// Writes `*size` bytes in chunks of at most kOutputChunkSize, reporting each chunk's whole
// KB, and stops early once the run is finished. Returns the system error of a failed write
// (0 when none); `*size` becomes the number of bytes written.
DWORD WriteOutputFile(HANDLE file, const void* data, size_t* size);

// Records the error condition for an SDK result, unless the run was cancelled.
void SetExtractErrorCondition(SRes result);

// Reports 1 KB and returns the run state.
int ReportEntryProgress();

}  // namespace zelko
