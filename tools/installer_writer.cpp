#include "tools/installer_writer.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "tools/file_bytes.h"
#include "tools/pe_image.h"
#include "tools/system_message.h"
#include "win/scoped_handle.h"

namespace zelko::pack {
namespace {

constexpr WORD kNeutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

bool SameName(const wchar_t* a, const wchar_t* b, int bLength = -1) {
  return ::CompareStringOrdinal(a, -1, b, bLength, TRUE) == CSTR_EQUAL;
}

bool IsInstallerResourceType(const wchar_t* type) {
  if (SameName(type, kConfigResourceType) || SameName(type, kArchiveResourceType) ||
      SameName(type, kRdcArchiveResourceType)) {
    return true;
  }
  const size_t prefixLength = std::wcslen(kFileResourceTypePrefix);
  if (std::wcslen(type) <= prefixLength ||
      ::CompareStringOrdinal(type, static_cast<int>(prefixLength), kFileResourceTypePrefix,
                             static_cast<int>(prefixLength), TRUE) != CSTR_EQUAL) {
    return false;
  }
  for (const wchar_t* digit = type + prefixLength; *digit != L'\0'; ++digit) {
    if (*digit < L'0' || *digit > L'9') return false;
  }
  return true;
}

BOOL CALLBACK FindInstallerResourceType(HMODULE, LPWSTR type, LONG_PTR found) {
  if (IS_INTRESOURCE(type) || !IsInstallerResourceType(type)) return TRUE;
  *reinterpret_cast<std::wstring*>(found) = type;
  return FALSE;  // one is enough
}

// The full form of `path`, so that LoadLibraryExW opens exactly this file rather than
// searching the program's folder and the PATH for a file of the same name.
bool FullPath(const std::wstring& path, std::wstring* full, DWORD* error) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) {
      *error = ::GetLastError();
      return false;
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      *full = buffer;
      return true;
    }
    buffer.resize(length);
  }
}

ScopedModule LoadAsData(const std::wstring& fullPath) {
  return ScopedModule(::LoadLibraryExW(fullPath.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

// A file in the output's folder that holds the installer while it is being built. It is
// deleted again unless it was moved into place, so every failure path cleans up by leaving.
class TemporaryOutput {
 public:
  TemporaryOutput() = default;
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;
  ~TemporaryOutput() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }

  // Creates a new file with a name of its own in `folder` (which ends in a separator) and
  // writes `bytes` to it. Same folder as the output, so the final move is a rename on one
  // volume.
  bool Create(const std::wstring& folder, const std::string& bytes, DWORD* error) {
    const std::wstring stem = folder + L"zelko_pack-" + std::to_wstring(::GetCurrentProcessId());
    ScopedFileHandle file;
    for (unsigned attempt = 0; !file; ++attempt) {
      std::wstring candidate = stem + L"-" + std::to_wstring(attempt) + L".tmp";
      file.reset(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file) {
        path_ = std::move(candidate);
      } else if (const DWORD code = ::GetLastError();
                 (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt == 999) {
        *error = code;
        return false;
      }
    }
    return WriteAll(file.get(), bytes.data(), bytes.size(), error);
  }

  bool MoveOver(const std::wstring& target, DWORD* error) {
    if (!::MoveFileExW(path_.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      *error = ::GetLastError();
      return false;
    }
    path_.clear();
    return true;
  }

  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

std::wstring ResourceName(const PackedResource& resource) {
  return resource.type + L"/" + std::to_wstring(resource.id);
}

bool AddResources(const std::wstring& path, const std::vector<PackedResource>& resources,
                  std::wstring* cause) {
  ScopedResourceUpdate update(::BeginUpdateResourceW(path.c_str(), FALSE));
  if (!update) {
    *cause = L"cannot open the copy of the stub for the resource update: " +
             SystemMessage(::GetLastError());
    return false;
  }
  for (const PackedResource& resource : resources) {
    if (!::UpdateResourceW(update.get(), resource.type.c_str(), MAKEINTRESOURCEW(resource.id),
                           kNeutralLanguage, const_cast<char*>(resource.bytes.data()),
                           static_cast<DWORD>(resource.bytes.size()))) {
      *cause = L"cannot add resource " + ResourceName(resource) + L": " +
               SystemMessage(::GetLastError());
      return false;  // the owner discards the update
    }
  }
  // EndUpdateResourceW frees the handle whether or not it succeeds.
  if (!::EndUpdateResourceW(update.release(), FALSE)) {
    *cause = L"cannot write the resources: " + SystemMessage(::GetLastError());
    return false;
  }
  return true;
}

// Sets the image checksum of the updated file. The resource update does not promise to
// recompute it (Wine's keeps the stub's), and a checksum that does not match the file makes
// an installer look tampered with to the scanners that check it.
bool RefreshChecksum(const std::wstring& path, std::wstring* cause) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  std::string bytes;
  DWORD code = 0;
  if (!file || !::GetFileSizeEx(file.get(), &size) ||
      !ReadAll(file.get(), static_cast<size_t>(size.QuadPart), &bytes, &code)) {
    code = code != 0 ? code : ::GetLastError();
    *cause = L"cannot read back the updated copy of the stub: " + SystemMessage(code);
    return false;
  }
  std::wstring why;
  if (!CheckPeImage(bytes, &why)) {
    *cause = L"the resource update produced a broken image: " + why;
    return false;
  }
  const size_t offset = PeChecksumOffset(bytes);
  const DWORD checksum = ComputePeChecksum(bytes, offset);
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) ||
      !WriteAll(file.get(), reinterpret_cast<const char*>(&checksum), sizeof(checksum), &code)) {
    code = code != 0 ? code : ::GetLastError();
    *cause = L"cannot write the image checksum: " + SystemMessage(code);
    return false;
  }
  return true;
}

// Reads every resource back from the finished file. The resource update rewrites the whole
// image; an installer that lost or garbled a part would fail only on the user's machine.
bool VerifyResources(const std::wstring& path, const std::vector<PackedResource>& resources,
                     std::wstring* cause) {
  const ScopedModule module = LoadAsData(path);
  if (!module) {
    *cause = L"the written installer cannot be loaded: " + SystemMessage(::GetLastError());
    return false;
  }
  for (const PackedResource& resource : resources) {
    const HRSRC found = ::FindResourceExW(module.get(), resource.type.c_str(),
                                          MAKEINTRESOURCEW(resource.id), kNeutralLanguage);
    const HGLOBAL loaded = found ? ::LoadResource(module.get(), found) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const bool same = found && ::SizeofResource(module.get(), found) == resource.bytes.size() &&
                      (resource.bytes.empty() || (data && std::memcmp(data, resource.bytes.data(),
                                                                      resource.bytes.size()) == 0));
    if (!same) {
      *cause = L"the written installer does not hold resource " + ResourceName(resource) +
               L" as given; the system's resource update failed";
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckStubIsBare(const std::wstring& stubPath, std::wstring* why) {
  std::wstring full;
  DWORD error = 0;
  if (!FullPath(stubPath, &full, &error)) {
    *why = L"has a bad path: " + SystemMessage(error);
    return false;
  }
  const ScopedModule module = LoadAsData(full);
  if (!module) {
    *why = L"cannot be loaded as a Windows program: " + SystemMessage(::GetLastError());
    return false;
  }
  std::wstring found;
  ::EnumResourceTypesW(module.get(), FindInstallerResourceType, reinterpret_cast<LONG_PTR>(&found));
  if (!found.empty()) {
    *why = L"already holds installer resources (" + found + L"); build from the bare stub";
    return false;
  }
  return true;
}

bool WriteInstaller(const std::wstring& output, const std::string& stub,
                    const std::vector<PackedResource>& resources, std::wstring* error) {
  auto fail = [&](const std::wstring& cause) {
    *error = output + L": " + cause;
    return false;
  };
  std::wstring full;
  DWORD code = 0;
  if (!FullPath(output, &full, &code)) return fail(L"bad path: " + SystemMessage(code));
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  const size_t nameStart = full.find_last_of(L"\\/") + 1;  // a full path has a separator
  if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
      nameStart == full.size()) {
    return fail(L"is a folder; give the installer's file name");
  }
  // MoveFileExW would replace a read-only file under Wine, though not on Windows; the flag is
  // the user's word that the file stays, so it holds everywhere.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return fail(L"the existing file is read-only");
  }
  const std::wstring folder = full.substr(0, nameStart);
  const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
    code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      return fail(L"cannot write it: folder " + folder + L" does not exist");
    }
    return fail(L"cannot write into folder " + folder + L": " + SystemMessage(code));
  }
  if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return fail(L"cannot write into " + folder + L": it is a file, not a folder");
  }

  TemporaryOutput temporary;
  if (!temporary.Create(folder, stub, &code)) {
    return fail(L"cannot create a file in " + folder + L": " + SystemMessage(code));
  }
  std::wstring cause;
  if (!AddResources(temporary.path(), resources, &cause) ||
      !RefreshChecksum(temporary.path(), &cause) ||
      !VerifyResources(temporary.path(), resources, &cause)) {
    return fail(cause);
  }
  if (!temporary.MoveOver(full, &code)) return fail(L"cannot replace it: " + SystemMessage(code));
  return true;
}

}  // namespace zelko::pack
