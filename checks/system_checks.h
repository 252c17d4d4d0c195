// The rules of the machine checks, apart from the system calls that feed them, so that each
// rule can be tested with any machine's figures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zelko {

// Physical memory in MB rounded up to the next power of two; exact powers of two, 0, 1 and
// values above 2^30 stay as they are.
uint32_t RoundMemoryMB(uint32_t physicalMB);

// The system identification used to look up a minimum service pack: major and minor version,
// a product-type letter and 6 for a 64-bit or 3 for a 32-bit system ("61W6", "51W3", "522S6").
std::wstring FormatOsString(const OSVERSIONINFOEXW& version, bool serverR2, bool is64Bit);

// MB that a packed archive of `bytes` counts for: nothing for an absent or empty one, at least
// 1, otherwise the whole MB it fills.
uint32_t ArchiveSizeMB(uint32_t bytes);

// The space a run needs on the temporary folder's volume and the work it reports, in KB.
// Summed in 64 bits, so that no configured size can wrap the sum round to a small one; the
// work is held to what the progress display counts in (32 bits of KB).
struct RequiredSpace {
  uint64_t totalMB = 0;
  uint32_t totalSizeKB = 0;
};

// `installerMB` and `rdcMB` are the configured unpacked sizes, the byte counts those of the
// archive resources (0 when absent); `rdcMode` counts the second payload; with `is7z` the
// unpacked sizes count once more as work, since the archive is decoded and then written.
RequiredSpace ComputeRequiredSpace(uint64_t installerMB, uint32_t archiveBytes, bool rdcMode,
                                   uint64_t rdcMB, uint32_t rdcArchiveBytes, bool is7z);

// A configured size in MB as the checks count it: a negative one counts as not configured.
uint64_t ConfiguredSizeMB(long configured);

// Free MB for the calling user on the volume of `path` (1 when at most one MB is free).
// False, with 0 in `availableMB`, when the free space cannot be determined.
BOOL GetAvailableSpaceMB(const std::wstring& path, uint64_t* availableMB);

}  // namespace zelko
