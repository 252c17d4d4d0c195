// zelko_pack: builds an installer from the stub, its configuration, the archives and extra
// files. Every input is read and checked before anything is written, what the installer would
// refuse on the user's machine is refused here, and the installer is replaced only by a
// complete new one (see installer_writer.h).
#include <cstdint>
#include <string>
#include <vector>

#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "tools/config_checks.h"
#include "tools/ini_text.h"
#include "tools/installer_writer.h"
#include "tools/pack_console.h"
#include "tools/pack_files.h"
#include "tools/pack_options.h"
#include "tools/single_block_folders.h"
#include "tools/unpacked_size.h"
#include "tools/utf_text.h"

namespace zelko::pack {
namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The stub and the configuration are read whole; anything larger than this is not one.
constexpr uint64_t kLargestReadWhole = 32u << 20;

void WriteError(const std::wstring& message) {
  WriteLine(OutputStream::kError, L"zelko_pack: error: " + message);
}

enum class EmptyFile { kAllowed, kRefused };

// Opens `path`; `role` says in the error which input it is.
bool OpenInput(const std::wstring& path, const wchar_t* role, EmptyFile empty, InputFile* file,
               std::wstring* error) {
  auto fail = [&](const std::wstring& cause) {
    *error = path + L": cannot read the " + role + L": " + cause;
    return false;
  };
  std::wstring cause;
  if (!file->Open(path, &cause)) return fail(cause);
  // An empty archive is no archive, and a resource of no bytes is no resource for the system.
  if (file->size() == 0 && empty == EmptyFile::kRefused) {
    return fail(L"the file is empty, and an empty resource cannot be stored");
  }
  return true;
}

bool ReadWhole(const std::wstring& path, const wchar_t* role, std::string* bytes,
               std::wstring* error) {
  InputFile file;
  if (!OpenInput(path, role, EmptyFile::kAllowed, &file, error)) return false;
  std::wstring cause;
  if (file.size() > kLargestReadWhole) {
    cause = L"it is " + std::to_wstring(file.size()) + L" bytes, far more than a " + role +
            L" holds";
  } else {
    bytes->resize(static_cast<size_t>(file.size()));
    if (file.ReadAt(0, bytes->data(), bytes->size(), &cause)) return true;
  }
  *error = path + L": cannot read the " + role + L": " + cause;
  return false;
}

bool ReadStubFile(const std::wstring& path, Stub* stub, std::wstring* error) {
  std::string bytes;
  if (!ReadWhole(path, L"stub", &bytes, error)) return false;
  std::wstring why;
  if (!ReadStub(std::move(bytes), stub, &why)) {
    *error = path + L": the stub " + why;
    return false;
  }
  return true;
}

bool ReadConfiguration(const std::wstring& path, std::wstring* text, std::wstring* error) {
  std::string bytes;
  if (!ReadWhole(path, L"configuration", &bytes, error)) return false;
  IniDecodeResult ini = DecodeIniText(bytes);
  std::wstring why;
  if (!ini.ok || !CheckProductCode(ini.text, &why) || !CheckLanguageSections(ini.text, &why)) {
    *error = path + L": the configuration " + (ini.ok ? why : ini.error);
    return false;
  }
  *text = std::move(ini.text);
  return true;
}

// The archives the packer takes, each with the [INSTALL] keys that --fill-sizes sets from it:
// its byte size, which the installer's validation mode compares with the resource it carries,
// and its unpacked size, which the installer's free-space check and progress count on.
struct ArchiveInput {
  std::wstring PackOptions::*option;
  const wchar_t* role;
  const wchar_t* type;
  int id;
  const wchar_t* sizeKey;
  const wchar_t* unpackedKey;
};

const ArchiveInput kArchiveInputs[] = {
    {&PackOptions::archive, L"archive", kArchiveResourceType, kArchiveResourceId, kArchiveSizeKey,
     kInstallerFolderSizeKey},
    {&PackOptions::rdcArchive, L"second archive", kRdcArchiveResourceType, kRdcArchiveResourceId,
     kRdcArchiveSizeKey, kRdcFolderSizeKey},
};

// Said of a large LZMA2 folder in one block, after its size.
constexpr wchar_t kSingleBlockNote[] =
    L" MiB is LZMA2 in a single block, which the installer decodes on one thread; packed "
    L"with 7zz a -m0=LZMA2:d=16m:c=32m it is decoded on all cores";

ResourceItem FileItem(std::wstring type, int id, const std::wstring& path, uint64_t size) {
  ResourceItem item;
  item.type.name = std::move(type);
  item.name.id = static_cast<uint16_t>(id);
  item.size = size;
  item.path = path;
  return item;
}

// Opens the archive of `archive` at `path` as the installer will, so that one it cannot read
// fails the pack here, and with --fill-sizes sets its keys in `config`.
bool AddArchive(const ArchiveInput& archive, const std::wstring& path, bool fillSizes,
                std::wstring* config, std::vector<ResourceItem>* items, std::wstring* error) {
  InputFile file;
  if (!OpenInput(path, archive.role, EmptyFile::kRefused, &file, error)) return false;
  uint64_t unpacked = 0;
  std::wstring why;
  if (!ReadUnpackedSize(file, &unpacked, &why)) {
    *error = path + L": the " + archive.role + L" is not a 7z archive the installer can read: " +
             why;
    return false;
  }
  if (fillSizes) {
    SetIniValue(config, kInstallSection, archive.sizeKey, std::to_wstring(file.size()));
    SetIniValue(config, kInstallSection, archive.unpackedKey,
                std::to_wstring(WholeMiBRoundedUp(unpacked)));
    for (const uint64_t folder : LargeSingleBlockLzma2Folders(file)) {
      WriteLine(OutputStream::kOut, L"zelko_pack: note: " + path + L": a folder of " +
                                        std::to_wstring(WholeMiBRoundedUp(folder)) +
                                        kSingleBlockNote);
    }
  }
  items->push_back(FileItem(archive.type, archive.id, path, file.size()));
  return true;
}

// The installer ignores a second archive whose declared size is not a positive number: it
// stops with a mismatch message instead.
bool CheckSecondArchiveSize(const PackOptions& options, const std::wstring& config,
                            std::wstring* error) {
  if (options.rdcArchive.empty()) return true;
  const std::wstring declared = IniValue(config, kInstallSection, kRdcArchiveSizeKey);
  if (ConfiguredNumber(declared) >= 1) return true;
  *error = options.config + L": the configuration " +
           (declared.empty() ? std::wstring(L"has no RDCArchiveSize in [INSTALL]")
                             : L"has RDCArchiveSize=" + declared + L" in [INSTALL]") +
           L", and the installer refuses its second archive without a positive size there "
           L"(--fill-sizes sets it)";
  return false;
}

int Pack(const PackOptions& options) {
  std::wstring error;
  Stub stub;
  std::wstring config;
  std::vector<ResourceItem> items;
  bool ok = ReadStubFile(options.stub, &stub, &error) &&
            ReadConfiguration(options.config, &config, &error);
  for (const ArchiveInput& archive : kArchiveInputs) {
    const std::wstring& path = options.*archive.option;
    ok = ok && (path.empty() ||
                AddArchive(archive, path, options.fillSizes, &config, &items, &error));
  }
  ok = ok && CheckSecondArchiveSize(options, config, &error);
  std::wstring clause;
  if (ok && !(CheckPayload(config, !options.archive.empty(), !options.rdcArchive.empty(),
                           options.files.size(), &clause) &&
              CheckConfiguredSizes(config, &clause))) {
    error = options.config + L": the configuration " + clause;
    ok = false;
  }
  for (size_t n = 0; ok && n < options.files.size(); ++n) {
    InputFile file;
    ok = OpenInput(options.files[n], L"file", EmptyFile::kRefused, &file, &error);
    if (ok) {
      items.push_back(FileItem(kFileResourceTypePrefix + std::to_wstring(n),
                               kFileResourceBaseId + static_cast<int>(n), options.files[n],
                               file.size()));
    }
  }
  InstallerPlan plan;
  std::wstring why;
  if (ok) {
    ResourceItem ini;
    ini.type.name = kConfigResourceType;
    ini.name.id = kConfigResourceId;
    ini.bytes = EncodeIniResource(config);
    ini.size = ini.bytes.size();
    items.insert(items.begin(), std::move(ini));
    const size_t count = items.size();
    if (!PlanInstaller(stub, std::move(items), &plan, &why)) {
      error = options.output + L": " + why;
      ok = false;
    }
    for (const std::wstring& key :
         ok ? OverlongSetupArguments(config) : std::vector<std::wstring>()) {
      WriteLine(OutputStream::kError,
                L"zelko_pack: warning: " + options.config + L": " + key + L" in [INSTALL] is " +
                    std::to_wstring(IniValue(config, kInstallSection, key).size()) +
                    L" characters long, and the installer reads only the first " +
                    std::to_wstring(kLongestReadValue) +
                    L"; the setup program gets it cut (shorten it, or pass the rest on the "
                    L"installer's command line)");
    }
    for (const UnreadKey& unread : ok ? UnreadStringKeys(config) : std::vector<UnreadKey>()) {
      WriteLine(OutputStream::kError, L"zelko_pack: warning: " + options.config + L": [" +
                                          unread.section + L"] key " + unread.key +
                                          L" is not one the installer reads; it is never shown");
    }
    if (ok && WriteInstaller(plan, options.output, &error)) {
      WriteLine(OutputStream::kOut, L"zelko_pack: wrote " + options.output + L" (" +
                                        std::to_wstring(count) +
                                        (count == 1 ? L" resource)" : L" resources)"));
      return kExitWritten;
    }
  }
  WriteError(error);
  return kExitFailed;
}

int Main(const std::vector<std::wstring>& arguments) {
  std::vector<const wchar_t*> argv;
  for (const std::wstring& argument : arguments) argv.push_back(argument.c_str());
  PackOptions options;
  std::wstring error;
  switch (ParsePackOptions(static_cast<int>(argv.size()), argv.data(), &options, &error)) {
    case ParseOutcome::kHelp:
      WriteLine(OutputStream::kOut, kPackUsage);
      return kExitWritten;
    case ParseOutcome::kUsageError:
      WriteError(error + L" (see zelko_pack --help)");
      return kExitUsage;
    case ParseOutcome::kRun:
      break;
  }
  return Pack(options);
}

}  // namespace
}  // namespace zelko::pack

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return zelko::pack::Main(std::vector<std::wstring>(argv, argv + argc));
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(zelko::pack::Utf16FromBytes(argv[i]));
  return zelko::pack::Main(arguments);
}
#endif
