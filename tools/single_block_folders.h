// Large LZMA2 folders that the installer can only decode on one thread: their stream is one
// block, with no dictionary reset along the way. The packer points them out, since the same
// payload packed in blocks is extracted several times faster on a machine with more cores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelko::pack {

class InputFile;

// A folder from this size on is worth splitting.
constexpr uint64_t kLargeFolderBytes = 64ull << 20;

// The unpacked sizes of the folders of the 7z archive in `archive` that are LZMA2 (alone or
// under a filter) of at least kLargeFolderBytes in a single block. Empty also when the
// archive cannot be read.
std::vector<uint64_t> LargeSingleBlockLzma2Folders(const InputFile& archive);

}  // namespace zelko::pack
