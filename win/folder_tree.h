// Folder trees on disk: removal that never leaves the tree it was given, and the proof that a
// folder takes new files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zelko {

// Where DeleteFolderTree reports what it could not delete: the run log's writer
// (SfxLog::Write) in the program. The log lives above this folder, so it is handed in.
using FolderTreeLog = void (*)(int level, const std::wstring& text, int withSystemError);

// The form of the full path `path` that every file call takes whatever its length: a path too
// long for a folder (MAX_PATH less the 12 characters that a folder must leave for a file
// name) gets the "\\?\" prefix ("\\?\UNC\" for a share), which hands it to the file system
// as it is, without MAX_PATH and without the system's long-path policy. Shorter paths, and
// paths that have a prefix already, stay as they are, so what is logged stays readable.
std::wstring LongPathForm(const std::wstring& path);

// Deletes `folder` with everything in it, depth first; read-only files go too. A junction or
// symbolic link inside is removed itself and never entered, so nothing outside the tree is
// touched. Paths of three characters or fewer (a drive root) are left alone. Every call
// takes the path's long form, so a tree deeper than MAX_PATH goes too. What cannot be deleted
// is written to `log` (level 1, with the path as given) and left in place.
void DeleteFolderTree(std::wstring folder, FolderTreeLog log);

// Creates `folder` (with its parents) when missing, then creates and deletes a new file in it.
// Returns 0 when that worked, else the system error code.
DWORD TestFolderWritable(const std::wstring& folder);

// Creates `folder` with each missing folder above it, outermost first, and appends each one it
// made to `created`, in that order; one that someone else made meanwhile is not listed.
// Returns 0 when all were made (or `folder` existed), else the system error of the creation
// that failed; what was made before it stays, listed in `created`.
DWORD CreateFolderPath(const std::wstring& folder, std::vector<std::wstring>& created);

// Takes back what CreateFolderPath made: removes the folders of `created`, innermost first,
// each only when it is empty (a folder with anything in it stays), and clears the list.
void RemoveCreatedFolders(std::vector<std::wstring>& created);

}  // namespace zelko
