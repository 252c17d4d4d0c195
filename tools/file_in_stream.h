// An input file of the packer as the SDK's seekable stream, for reading an archive's database
// and walking its packed streams without reading the whole archive into memory.
#pragma once

#include <string>

#include "7zTypes.h"
#include "tools/pack_files.h"

namespace zelko::pack {

struct FileInStream {
  explicit FileInStream(const InputFile& input);

  ISeekInStream vt;  // first member: the SDK's interface pointer is the stream's address
  const InputFile* file;
  uint64_t position = 0;
  std::wstring readError;  // why the last read failed, in the system's words
};

}  // namespace zelko::pack
