#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "tools/pack_files.h"
#include "tools/utf_text.h"

namespace zelko::pack {
namespace {

std::wstring ErrorText(int code) {
  return Utf16FromBytes(std::strerror(code)) + L" (errno " + std::to_wstring(code) + L")";
}

std::string NativePath(const std::wstring& path) { return Utf8FromUtf16(path); }

// Owns a file descriptor.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool WriteAllAt(int fd, const char* bytes, size_t size, off_t offset, bool positioned,
                std::wstring* cause) {
  for (size_t done = 0; done < size;) {
    const ssize_t written = positioned
                                ? ::pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done))
                                : ::write(fd, bytes + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *cause = ErrorText(written < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

struct InputFile::Handle {
  Descriptor fd;
};

InputFile::InputFile() = default;
InputFile::~InputFile() = default;

bool InputFile::Open(const std::wstring& path, std::wstring* cause) {
  auto handle = std::make_unique<Handle>();
  handle->fd.reset(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat facts {};
  if (!handle->fd || ::fstat(handle->fd.get(), &facts) != 0) {
    *cause = ErrorText(errno);
    return false;
  }
  if (S_ISDIR(facts.st_mode)) {
    *cause = L"it is a folder, not a file";
    return false;
  }
  size_ = static_cast<uint64_t>(facts.st_size);
  handle_ = std::move(handle);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* data, size_t size, std::wstring* cause) const {
  auto* bytes = static_cast<char*>(data);
  for (size_t done = 0; done < size;) {
    const ssize_t read =
        ::pread(handle_->fd.get(), bytes + done, size - done, static_cast<off_t>(offset + done));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) {
      *cause = ErrorText(errno);
      return false;
    }
    if (read == 0) {
      *cause = L"the file became shorter while it was read";
      return false;
    }
    done += static_cast<size_t>(read);
  }
  return true;
}

struct OutputFile::Handle {
  Descriptor fd;
  std::string path;    // the new file
  std::string target;  // where it goes
  ~Handle() {
    fd.reset();
    if (!path.empty()) ::unlink(path.c_str());
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

bool OutputFile::Create(const std::wstring& target, std::wstring* cause) {
  const std::string path = NativePath(target);
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat facts {};
  const bool exists = ::stat(path.c_str(), &facts) == 0;
  if (name.empty() || name == "." || name == ".." || (exists && S_ISDIR(facts.st_mode))) {
    *cause = L"is a folder; give the installer's file name";
    return false;
  }
  // Without any write permission the file is meant to stay, though the folder's permissions
  // would let a rename replace it.
  if (exists && (facts.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    *cause = L"the existing file is read-only";
    return false;
  }
  struct stat folderFacts {};
  if (::stat(folder.c_str(), &folderFacts) != 0) {
    const int code = errno;
    *cause = code == ENOENT ? L"cannot write it: folder " + Utf16FromBytes(folder) + L" does not exist"
                            : L"cannot write into folder " + Utf16FromBytes(folder) + L": " +
                                  ErrorText(code);
    return false;
  }
  if (!S_ISDIR(folderFacts.st_mode)) {
    *cause = L"cannot write into " + Utf16FromBytes(folder) + L": it is a file, not a folder";
    return false;
  }
  auto handle = std::make_unique<Handle>();
  handle->target = path;
  const std::string stem = folder + ".zelko_pack-" + std::to_string(::getpid());
  for (unsigned attempt = 0; !handle->fd; ++attempt) {
    std::string candidate = stem + "-" + std::to_string(attempt) + ".tmp";
    handle->fd.reset(::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (handle->fd) {
      handle->path = std::move(candidate);
    } else if (errno != EEXIST || attempt == 999) {
      *cause = L"cannot create a file in " + Utf16FromBytes(folder) + L": " + ErrorText(errno);
      return false;
    }
  }
  handle_ = std::move(handle);
  return true;
}

bool OutputFile::Write(const void* data, size_t size, std::wstring* cause) {
  return WriteAllAt(handle_->fd.get(), static_cast<const char*>(data), size, 0, false, cause);
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size, std::wstring* cause) {
  return WriteAllAt(handle_->fd.get(), static_cast<const char*>(data), size,
                    static_cast<off_t>(offset), true, cause);
}

bool OutputFile::Commit(std::wstring* cause) {
  // The installer's bytes reach the disk before its name does.
  if (::fsync(handle_->fd.get()) != 0) {
    *cause = L"cannot write it: " + ErrorText(errno);
    return false;
  }
  handle_->fd.reset();
  if (::rename(handle_->path.c_str(), handle_->target.c_str()) != 0) {
    *cause = L"cannot replace it: " + ErrorText(errno);
    return false;
  }
  handle_->path.clear();
  return true;
}

}  // namespace zelko::pack
