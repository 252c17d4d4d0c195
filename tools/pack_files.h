// The files the packer reads and the installer it writes, over the platform's own file calls
// (pack_files_win32.cpp on Windows, pack_files_posix.cpp elsewhere). Paths are UTF-16 text as
// the command line gave them; errors are clauses in the system's own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zelko::pack {

// A file opened for reading, read at given offsets.
class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path`. False with the reason in `cause` (a folder is refused too).
  bool Open(const std::wstring& path, std::wstring* cause);
  uint64_t size() const { return size_; }
  // Reads exactly `size` bytes at `offset`. False with the reason in `cause`; a file that
  // ends early says so.
  bool ReadAt(uint64_t offset, void* data, size_t size, std::wstring* cause) const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  uint64_t size_ = 0;
};

// The installer while it is written: a new file beside its final place, moved over it only by
// Commit, and deleted when the owner goes without committing. So a failed run never leaves a
// half-written installer behind nor harms an existing one, and the move is a rename on one
// volume.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Checks that `target` can be replaced (not a folder, not read-only, in a folder that
  // exists) and creates the new file beside it. False with the reason in `cause`, a clause
  // that follows the target's name.
  bool Create(const std::wstring& target, std::wstring* cause);
  bool Write(const void* data, size_t size, std::wstring* cause);
  // Overwrites bytes already written, at `offset`.
  bool WriteAt(uint64_t offset, const void* data, size_t size, std::wstring* cause);
  // Moves the finished file over the target.
  bool Commit(std::wstring* cause);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace zelko::pack
