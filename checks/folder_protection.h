// Protection of the program's own folders under the all-users application-data folder.
//
// Every local user may create folders there, so "Zelko", "Zelko\Setup" or a product's folder
// may have been made, and owned, by someone else before an elevated run fills it; that user
// could then swap the setup program between its extraction and its start. An elevated run
// therefore makes each of these folders its own before it uses it: owned by Administrators,
// SYSTEM and Administrators with full control, Users allowed to read and run only, and
// nothing inherited from above. A run that is not elevated could not do this, and has
// nothing to protect from the other users: it uses the folders as they are.
#pragma once

#include <windows.h>

#include <string>

namespace zelko {

// Whether the process runs with the rights of the Administrators group (an elevated token,
// or SYSTEM). A token where the group is present for deny only (not elevated) does not count.
bool RunsElevated();

// The security the own folders get: owner Administrators; SYSTEM and Administrators full
// control, Users read and execute, each inherited by files and folders below; protected from
// the parent's entries. A self-relative descriptor that the caller frees with LocalFree;
// null when the system cannot build it.
PSECURITY_DESCRIPTOR NewProtectedFolderDescriptor();

// What a folder's security says about who may change it.
struct FolderSecurity {
  bool ownerTrusted = false;    // owned by SYSTEM or Administrators
  bool othersMayWrite = true;   // an entry lets anyone else write, delete or change rights
};
FolderSecurity JudgeFolderSecurity(PSECURITY_DESCRIPTOR descriptor);

// What an existing folder is, as found on disk.
struct FolderFacts {
  bool isFolder = false;  // a directory (not a file)
  bool isLink = false;    // a junction or symbolic link: using it would use its target
  FolderSecurity security;
};

enum class FolderVerdict {
  kUse,       // safe as it is
  kResecure,  // set owner and entries first, then use it
  kRefuse,    // cannot be made ours: another folder must be used
};

// The rule: a run that is not elevated uses the folder as before; an elevated one uses it
// only when it is a real folder owned by SYSTEM or Administrators that nobody else may
// change, re-secures a real folder that fails either test, and refuses a link or a file.
FolderVerdict DecideFolderUse(bool elevated, const FolderFacts& facts);

// Makes `base` + "\" + `below` ready for extraction: removes whatever the last folder held
// and leaves the whole path existing. When `elevated`, each folder of `below` from its first
// component down is first created as a protected folder or, found, made ours; `base` itself
// (the shell folder) is the system's. False, with a log line, when `below` would leave `base`
// or a folder cannot be made safe. The last folder is emptied only once it and every folder
// above it are safe; when elevated, it is then made anew, and one that the emptying could
// not remove whole is not used.
bool PrepareOwnFolder(const std::wstring& base, const std::wstring& below, bool elevated);

}  // namespace zelko
