#include <windows.h>

#include <algorithm>
#include <utility>

#include "tools/pack_files.h"
#include "tools/system_message.h"
#include "win/scoped_handle.h"

namespace zelko::pack {
namespace {

// One ReadFile or WriteFile call takes at most this much.
constexpr size_t kChunk = 1u << 30;

bool SeekTo(HANDLE file, uint64_t offset) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

bool WriteAll(HANDLE file, const char* bytes, size_t size, std::wstring* cause) {
  for (size_t offset = 0; offset < size;) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes + offset, static_cast<DWORD>(std::min(size - offset, kChunk)),
                     &written, nullptr)) {
      *cause = SystemMessage(::GetLastError());
      return false;
    }
    if (written == 0) {
      *cause = SystemMessage(ERROR_HANDLE_DISK_FULL);
      return false;
    }
    offset += written;
  }
  return true;
}

// The full form of `path`, so that every check and the final move name the same file.
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

}  // namespace

struct InputFile::Handle {
  ScopedFileHandle file;
};

InputFile::InputFile() = default;
InputFile::~InputFile() = default;

bool InputFile::Open(const std::wstring& path, std::wstring* cause) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *cause = L"it is a folder, not a file";
    return false;
  }
  auto handle = std::make_unique<Handle>();
  handle->file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!handle->file || !::GetFileSizeEx(handle->file.get(), &size)) {
    *cause = SystemMessage(::GetLastError());
    return false;
  }
  size_ = static_cast<uint64_t>(size.QuadPart);
  handle_ = std::move(handle);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* data, size_t size, std::wstring* cause) const {
  if (!SeekTo(handle_->file.get(), offset)) {
    *cause = SystemMessage(::GetLastError());
    return false;
  }
  auto* bytes = static_cast<char*>(data);
  for (size_t done = 0; done < size;) {
    DWORD read = 0;
    if (!::ReadFile(handle_->file.get(), bytes + done,
                    static_cast<DWORD>(std::min(size - done, kChunk)), &read, nullptr)) {
      *cause = SystemMessage(::GetLastError());
      return false;
    }
    if (read == 0) {
      *cause = L"the file became shorter while it was read";
      return false;
    }
    done += read;
  }
  return true;
}

struct OutputFile::Handle {
  ScopedFileHandle file;
  std::wstring path;    // the new file
  std::wstring target;  // where it goes
  ~Handle() {
    file.reset();
    if (!path.empty()) ::DeleteFileW(path.c_str());
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

bool OutputFile::Create(const std::wstring& target, std::wstring* cause) {
  std::wstring full;
  DWORD code = 0;
  if (!FullPath(target, &full, &code)) {
    *cause = L"bad path: " + SystemMessage(code);
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  const size_t nameStart = full.find_last_of(L"\\/") + 1;  // a full path has a separator
  if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
      nameStart == full.size()) {
    *cause = L"is a folder; give the installer's file name";
    return false;
  }
  // MoveFileExW would replace a read-only file under Wine, though not on Windows; the flag is
  // the user's word that the file stays, so it holds everywhere.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    *cause = L"the existing file is read-only";
    return false;
  }
  const std::wstring folder = full.substr(0, nameStart);
  const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
    code = ::GetLastError();
    *cause = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                 ? L"cannot write it: folder " + folder + L" does not exist"
                 : L"cannot write into folder " + folder + L": " + SystemMessage(code);
    return false;
  }
  if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *cause = L"cannot write into " + folder + L": it is a file, not a folder";
    return false;
  }
  auto handle = std::make_unique<Handle>();
  handle->target = full;
  const std::wstring stem = folder + L"zelko_pack-" + std::to_wstring(::GetCurrentProcessId());
  for (unsigned attempt = 0; !handle->file; ++attempt) {
    std::wstring candidate = stem + L"-" + std::to_wstring(attempt) + L".tmp";
    handle->file.reset(::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle->file) {
      handle->path = std::move(candidate);
    } else if (code = ::GetLastError();
               (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt == 999) {
      *cause = L"cannot create a file in " + folder + L": " + SystemMessage(code);
      return false;
    }
  }
  handle_ = std::move(handle);
  return true;
}

bool OutputFile::Write(const void* data, size_t size, std::wstring* cause) {
  return WriteAll(handle_->file.get(), static_cast<const char*>(data), size, cause);
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size, std::wstring* cause) {
  LARGE_INTEGER here{};
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(handle_->file.get(), zero, &here, FILE_CURRENT) ||
      !SeekTo(handle_->file.get(), offset)) {
    *cause = SystemMessage(::GetLastError());
    return false;
  }
  return WriteAll(handle_->file.get(), static_cast<const char*>(data), size, cause) &&
         SeekTo(handle_->file.get(), static_cast<uint64_t>(here.QuadPart));
}

bool OutputFile::Commit(std::wstring* cause) {
  handle_->file.reset();
  if (!::MoveFileExW(handle_->path.c_str(), handle_->target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *cause = L"cannot replace it: " + SystemMessage(::GetLastError());
    return false;
  }
  handle_->path.clear();
  return true;
}

}  // namespace zelko::pack
