// A cheap look at a file's headers before the packer hands it to the resource-update API,
// which on a file that is not a PE image fails late and with a vague system message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelko::pack {

// True when `bytes` start like a PE image: the "MZ" header, an e_lfanew that points inside
// the file, the "PE\0\0" signature, and a file header and optional header (PE32 or PE32+)
// that fit in the file. Otherwise false, with the reason in `why`: a clause such as "is not a
// Windows program: ..." that follows the name of the file's role.
bool CheckPeImage(const std::string& bytes, std::wstring* why);

// Offset of the optional header's CheckSum field in `bytes`, which CheckPeImage accepted.
size_t PeChecksumOffset(const std::string& bytes);

// The image checksum of `bytes` as the system computes it (the CheckSum field counts as zero).
uint32_t ComputePeChecksum(const std::string& bytes, size_t checksumOffset);

}  // namespace zelko::pack
