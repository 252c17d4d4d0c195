// How much an archive takes once unpacked, read from the archive's own header with the
// installer's reader, so that the packer can declare the room the installer needs and refuse
// an archive the installer could not open.
#pragma once

#include <cstdint>
#include <string>

namespace zelko::pack {

class InputFile;

// Sums the sizes of the file entries of the 7z archive in `archive` (folders count nothing).
// Packed headers are decoded; the entries' data is not, and only the header is read from the
// file. False when the installer could not open the archive, would refuse one of its entry
// names (see IsSafeEntryName) or could not create one as Windows file (see
// FindUncreatableEntryName), with `why` as a clause such as "it has no 7z signature".
bool ReadUnpackedSize(const InputFile& archive, uint64_t* bytes, std::wstring* why);

// `bytes` in whole MiB, a part of one counting as one: the installer's free-space check and
// progress use this, and too much room is harmless where too little is not.
uint64_t WholeMiBRoundedUp(uint64_t bytes);

}  // namespace zelko::pack
