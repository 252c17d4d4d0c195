// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

namespace zelko::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, without a trailing "\".
  const std::wstring& path() const { return path_; }
  // `name` inside the folder.
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Points the process's temporary folder (GetTempPathW) at `folder` for the life of this object.
class ScopedTempPath {
 public:
  explicit ScopedTempPath(const std::wstring& folder);
  ~ScopedTempPath();
  ScopedTempPath(const ScopedTempPath&) = delete;
  ScopedTempPath& operator=(const ScopedTempPath&) = delete;

 private:
  bool hadOld_ = false;
  std::wstring old_;
};

// Whole-file helpers for test fixtures.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Names in `folder` (files and folders, not recursive, without "." and "..").
std::vector<std::wstring> FolderEntries(const std::wstring& folder);
// The same in alphabetical order, for comparing with a list.
std::vector<std::wstring> SortedFolderEntries(const std::wstring& folder);
// The process's own run log: "ZelkoSFX.log" in the temporary folder it has now.
std::wstring RunLogPath();

// The bytes the file at `path` (the run log unless told) gained since this object was made.
class LogCapture {
 public:
  explicit LogCapture(std::wstring path = RunLogPath());
  std::string Text() const;

 private:
  std::wstring path_;
  size_t start_;
};

// Makes `link` a symbolic link to the folder `target` with the system's own ln. Wine shows
// such a link as a reparse point, as Windows shows a junction. False when it cannot.
bool MakeFolderLink(const std::wstring& target, const std::wstring& link);
// Removes a folder and everything below it; links are removed, not followed.
void RemoveTree(const std::wstring& path);

}  // namespace zelko::test
