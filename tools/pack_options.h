// The packer's command line.
#pragma once

#include <string>
#include <vector>

namespace zelko::pack {

struct PackOptions {
  std::wstring stub;                // --stub: the installer program the resources are added to
  std::wstring config;              // --config: the INI file
  std::wstring archive;             // --archive: main archive, may be empty
  std::wstring rdcArchive;          // --rdc-archive: second archive, may be empty
  std::vector<std::wstring> files;  // --file, in the order given
  std::wstring output;              // --out
  bool fillSizes = false;           // --fill-sizes: write the archives' sizes, packed and
                                    // unpacked, into [INSTALL]
};

enum class ParseOutcome {
  kRun,         // options filled in
  kHelp,        // --help, -h or /? was given; print the usage
  kUsageError,  // `error` says what is wrong
};

// Reads argv[1..]. Every option takes its value as the next argument.
ParseOutcome ParsePackOptions(int argc, const wchar_t* const* argv, PackOptions* options,
                              std::wstring* error);

// The text printed for --help.
extern const wchar_t kPackUsage[];

}  // namespace zelko::pack
