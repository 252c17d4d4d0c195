// zelko_pack: builds an installer from the stub, its configuration, the archives and extra
// files. Every input is read and checked before anything is written, and the installer is
// replaced only by a complete new one (see installer_writer.h).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/file_bytes.h"
#include "tools/ini_text.h"
#include "tools/installer_writer.h"
#include "tools/pack_options.h"
#include "tools/pe_image.h"
#include "tools/single_block_folders.h"
#include "tools/system_message.h"
#include "tools/unpacked_size.h"
#include "win/scoped_handle.h"

namespace zelko::pack {
namespace {

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Writes `text` followed by a line end: as wide text to a console, as UTF-8 with CR LF line
// ends to a file or a pipe, so that the output of a build script keeps every character.
void WriteLine(DWORD stream, std::wstring text) {
  text += L"\n";
  const HANDLE handle = ::GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(handle, &mode)) {
    ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::wstring crlf;
  for (const wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), bytes.data(), size,
                        nullptr, nullptr);
  ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteError(const std::wstring& message) {
  WriteLine(STD_ERROR_HANDLE, L"zelko_pack: error: " + message);
}

enum class EmptyFile { kAllowed, kRefused };

// Reads the whole of `path`; `role` says in the error which input it is.
bool ReadInput(const std::wstring& path, const wchar_t* role, EmptyFile empty, std::string* bytes,
               std::wstring* error) {
  auto fail = [&](const std::wstring& cause) {
    *error = path + L": cannot read the " + role + L": " + cause;
    return false;
  };
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return fail(L"it is a folder, not a file");
  }
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return fail(SystemMessage(::GetLastError()));
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return fail(SystemMessage(::GetLastError()));
  // A resource's size is a 32-bit value, and so is the size of the whole image.
  if (static_cast<ULONGLONG>(size.QuadPart) >= 0xFFFFFFFFull) {
    return fail(L"it is too large to be held in a Windows program (4 GiB or more)");
  }
  // The resource-update API documents a size of zero only as the way to delete a resource,
  // and Wine's UpdateResourceW fails on it; an empty archive is no archive either.
  if (size.QuadPart == 0 && empty == EmptyFile::kRefused) {
    return fail(L"the file is empty, and an empty resource cannot be stored");
  }
  DWORD code = 0;
  if (!ReadAll(file.get(), static_cast<size_t>(size.QuadPart), bytes, &code)) {
    return fail(code == ERROR_HANDLE_EOF ? L"the file became shorter while it was read"
                                         : SystemMessage(code));
  }
  return true;
}

bool ReadStub(const std::wstring& path, std::string* bytes, std::wstring* error) {
  if (!ReadInput(path, L"stub", EmptyFile::kAllowed, bytes, error)) return false;
  std::wstring why;
  if (!CheckPeImage(*bytes, &why) || !CheckStubIsBare(path, &why)) {
    *error = path + L": the stub " + why;
    return false;
  }
  return true;
}

bool ReadConfiguration(const std::wstring& path, std::wstring* text, std::wstring* error) {
  std::string bytes;
  if (!ReadInput(path, L"configuration", EmptyFile::kAllowed, &bytes, error)) return false;
  IniDecodeResult ini = DecodeIniText(bytes);
  if (!ini.ok) {
    *error = path + L": the configuration " + ini.error;
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
    {&PackOptions::archive, L"archive", kArchiveResourceType, kArchiveResourceId, L"ArchiveSize",
     L"InstallerFolderSizeInMB"},
    {&PackOptions::rdcArchive, L"second archive", kRdcArchiveResourceType, kRdcArchiveResourceId,
     L"RDCArchiveSize", L"RDCFolderSizeInMB"},
};

// Said of a large LZMA2 folder in one block, after its size.
constexpr wchar_t kSingleBlockNote[] =
    L" MiB is LZMA2 in a single block, which the installer decodes on one thread; packed "
    L"with 7zz a -m0=LZMA2:d=16m:c=32m it is decoded on all cores";

// Sets the keys of `archive` in `config` from the archive's `bytes`, read from `path`. The
// archive is opened as the installer will open it, so one it cannot read fails the pack here.
bool FillSizes(const ArchiveInput& archive, const std::wstring& path, const std::string& bytes,
               std::wstring* config, std::wstring* error) {
  uint64_t unpacked = 0;
  std::wstring why;
  if (!ReadUnpackedSize(bytes, &unpacked, &why)) {
    *error = path + L": the " + archive.role + L" is not a 7z archive the installer can read: " +
             why;
    return false;
  }
  SetIniValue(config, L"INSTALL", archive.sizeKey, std::to_wstring(bytes.size()));
  SetIniValue(config, L"INSTALL", archive.unpackedKey,
              std::to_wstring(WholeMiBRoundedUp(unpacked)));
  for (const uint64_t folder : LargeSingleBlockLzma2Folders(bytes)) {
    WriteLine(STD_OUTPUT_HANDLE, L"zelko_pack: note: " + path + L": a folder of " +
                                     std::to_wstring(WholeMiBRoundedUp(folder)) +
                                     kSingleBlockNote);
  }
  return true;
}

int Pack(const PackOptions& options) {
  std::wstring error;
  std::string stub;
  std::wstring config;
  std::vector<PackedResource> resources(1);
  if (!ReadStub(options.stub, &stub, &error) ||
      !ReadConfiguration(options.config, &config, &error)) {
    WriteError(error);
    return kExitFailed;
  }
  auto addFile = [&](const std::wstring& path, const wchar_t* role, std::wstring type, WORD id) {
    PackedResource resource{std::move(type), id, {}};
    if (!ReadInput(path, role, EmptyFile::kRefused, &resource.bytes, &error)) return false;
    resources.push_back(std::move(resource));
    return true;
  };
  bool ok = true;
  for (const ArchiveInput& archive : kArchiveInputs) {
    const std::wstring& path = options.*archive.option;
    if (!ok || path.empty()) continue;
    ok = addFile(path, archive.role, archive.type, static_cast<WORD>(archive.id)) &&
         (!options.fillSizes ||
          FillSizes(archive, path, resources.back().bytes, &config, &error));
  }
  for (size_t n = 0; ok && n < options.files.size(); ++n) {
    ok = addFile(options.files[n], L"file", kFileResourceTypePrefix + std::to_wstring(n),
                 static_cast<WORD>(kFileResourceBaseId + n));
  }
  resources[0] = PackedResource{kConfigResourceType, static_cast<WORD>(kConfigResourceId),
                                EncodeIniResource(config)};
  if (!ok || !WriteInstaller(options.output, stub, resources, &error)) {
    WriteError(error);
    return kExitFailed;
  }
  WriteLine(STD_OUTPUT_HANDLE, L"zelko_pack: wrote " + options.output + L" (" +
                                   std::to_wstring(resources.size()) +
                                   (resources.size() == 1 ? L" resource)" : L" resources)"));
  return kExitWritten;
}

}  // namespace
}  // namespace zelko::pack

int wmain(int argc, wchar_t** argv) {
  using namespace zelko::pack;
  PackOptions options;
  std::wstring error;
  switch (ParsePackOptions(argc, argv, &options, &error)) {
    case ParseOutcome::kHelp:
      WriteLine(STD_OUTPUT_HANDLE, kPackUsage);
      return kExitWritten;
    case ParseOutcome::kUsageError:
      WriteError(error + L" (see zelko_pack --help)");
      return kExitUsage;
    case ParseOutcome::kRun:
      break;
  }
  return Pack(options);
}
