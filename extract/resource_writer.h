// Writing the program's own resources (configuration, archives, plain installer files) to
// files, in chunks that move the progress display and obey pause and cancel.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

class CZelkoSelfExtractorApp;

// Results of ExtractResourceToFile. Each failure sets condition 150340 with the system error.
constexpr int kResourceWritten = 0;       // written in full
constexpr int kResourceNotCreated = 6;    // no such resource, or the file cannot be created
constexpr int kResourceWriteFailed = 29;  // a write failed
constexpr int kResourceCancelled = 1223;  // ERROR_CANCELLED: stopped by a cancel, file partial

// Bytes per chunk, reported as 500 KB each.
constexpr DWORD kResourceChunkSize = 512000;

// Copies the resource `type`/`id` of the running image into `path` (created, or emptied).
int ExtractResourceToFile(const std::wstring& path, CZelkoSelfExtractorApp& app, WORD id,
                          const wchar_t* type);

// Writes the resources FILE_0 (id 140), FILE_1 (id 141), ... into installFolder_ under the
// names that the configuration's INSTALL section gives for the keys FILE_0, FILE_1, ...,
// up to the first missing key. False when one of them fails or is cancelled, and when there
// is no FILE_0 (a payload of nothing; condition 150340).
BOOL ExtractInstallerFiles(CZelkoSelfExtractorApp& app);

}  // namespace zelko
