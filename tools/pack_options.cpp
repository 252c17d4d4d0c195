#include "tools/pack_options.h"

#include "resources/payload_resources.h"

namespace zelko::pack {
namespace {

// Resource ids of the file resources run from kFileResourceBaseId to the largest 16-bit id.
constexpr size_t kMaxFiles = 0xFFFF - kFileResourceBaseId + 1;

}  // namespace

const wchar_t kPackUsage[] =
    L"Usage: zelko_pack --stub ZelkoSFX.exe --config setup.ini [--archive payload.7z]\n"
    L"                  [--rdc-archive second.7z] [--file path]... --out installer.exe\n"
    L"\n"
    L"Builds an installer: a copy of the stub with the configuration, the archives and the\n"
    L"files added as resources.\n"
    L"\n"
    L"  --stub PATH         the installer program to start from (required)\n"
    L"  --config PATH       the configuration, an INI file in UTF-8 or UTF-16 (required);\n"
    L"                      stored as UTF-16LE with CR LF line ends\n"
    L"  --archive PATH      the main 7z archive (optional)\n"
    L"  --rdc-archive PATH  the second 7z archive (optional)\n"
    L"  --file PATH         a file to embed; repeat for more, kept in the order given\n"
    L"                      (the first becomes FILE_0, the next FILE_1, ...)\n"
    L"  --fill-sizes        set in [INSTALL], replacing what the file says:\n"
    L"                      ArchiveSize and RDCArchiveSize to the byte sizes of the\n"
    L"                      archives given, InstallerFolderSizeInMB and RDCFolderSizeInMB\n"
    L"                      to their unpacked sizes in MiB, rounded up\n"
    L"  --out PATH          the installer to write (required); replaced only when the\n"
    L"                      whole build succeeded\n"
    L"  --help, -h, /?      show this text\n"
    L"\n"
    L"Texts in several languages: [STRING] holds every text a user sees; a section\n"
    L"[STRING.<locale>] holds the same keys in one language. The installer takes the\n"
    L"user's UI language and looks each text up in its section (de-DE), then in the\n"
    L"section of the bare language (de), then in [STRING]; so a partly translated\n"
    L"section is fine. Two languages, English for everyone but German users:\n"
    L"  [STRING]\n"
    L"  SFX_TITLE_CAPTIONBAR=Demo Setup\n"
    L"  SFX_BTN_CANCEL=Cancel\n"
    L"  [STRING.de]\n"
    L"  SFX_TITLE_CAPTIONBAR=Demo-Installation\n"
    L"  SFX_BTN_CANCEL=Abbrechen\n"
    L"\n"
    L"What the installer would refuse is refused here: a configuration without a\n"
    L"ProductCode in braces, a [STRING.<name>] section whose name is no locale name,\n"
    L"an archive the installer cannot open, a second archive without a positive\n"
    L"RDCArchiveSize. Keys of [STRING] and [STRING.<locale>] the installer never reads\n"
    L"are warned of. The installer, stub and payload together, must stay below 2 GiB, the\n"
    L"largest program Windows loads. Sign the installer after packing: a signed stub is\n"
    L"refused.\n"
    L"\n"
    L"Exit codes: 0 written, 1 a bad input or a failed write, 2 a wrong command line.";

ParseOutcome ParsePackOptions(int argc, const wchar_t* const* argv, PackOptions* options,
                              std::wstring* error) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--help" || name == L"-h" || name == L"/?") return ParseOutcome::kHelp;
  }
  *options = PackOptions();
  for (int i = 1; i < argc; ++i) {
    const std::wstring name = argv[i];
    std::wstring* single = nullptr;
    if (name == L"--fill-sizes") {
      options->fillSizes = true;
      continue;
    }
    if (name == L"--stub") {
      single = &options->stub;
    } else if (name == L"--config") {
      single = &options->config;
    } else if (name == L"--archive") {
      single = &options->archive;
    } else if (name == L"--rdc-archive") {
      single = &options->rdcArchive;
    } else if (name == L"--out") {
      single = &options->output;
    } else if (name != L"--file") {
      *error = name.size() > 1 && (name[0] == L'-' || name[0] == L'/')
                   ? L"unknown option '" + name + L"'"
                   : L"unexpected argument '" + name + L"' (every path follows its option)";
      return ParseOutcome::kUsageError;
    }
    // A value that looks like an option is far more likely a forgotten path than a file
    // named "--out"; such a file can still be given as .\--out.
    if (i + 1 >= argc || argv[i + 1][0] == L'\0' ||
        std::wstring(argv[i + 1]).compare(0, 2, L"--") == 0) {
      *error = L"option " + name + L" needs a path";
      return ParseOutcome::kUsageError;
    }
    const std::wstring value = argv[++i];
    if (single == nullptr) {
      if (options->files.size() == kMaxFiles) {
        *error = L"too many --file options (at most " + std::to_wstring(kMaxFiles) + L")";
        return ParseOutcome::kUsageError;
      }
      options->files.push_back(value);
    } else if (!single->empty()) {
      *error = L"option " + name + L" given twice";
      return ParseOutcome::kUsageError;
    } else {
      *single = value;
    }
  }
  const wchar_t* missing = options->stub.empty()     ? L"--stub"
                           : options->config.empty() ? L"--config"
                           : options->output.empty() ? L"--out"
                                                     : nullptr;
  if (missing != nullptr) {
    *error = std::wstring(L"option ") + missing + L" is required";
    return ParseOutcome::kUsageError;
  }
  return ParseOutcome::kRun;
}

}  // namespace zelko::pack
