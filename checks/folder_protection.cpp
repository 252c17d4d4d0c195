#include "checks/folder_protection.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdint>

#include "extract/entry_names.h"
#include "report/run_log.h"
#include "win/folder_tree.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

// Owner Administrators; a protected list of entries, each inherited by files and folders.
constexpr wchar_t kProtectedFolderSecurity[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

// Rights with which a holder could change the folder, what is in it, or who may do so.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL |
                                        MAXIMUM_ALLOWED;

constexpr wchar_t kNotProtectedText[] = L"Cannot protect folder from other users: ";
constexpr wchar_t kResecuredText[] = L"Folder secured against other users: ";
constexpr wchar_t kNotEmptiedText[] = L"Cannot empty installer folder: ";

bool IsTrustedSid(PSID sid) {
  return ::IsWellKnownSid(sid, WinLocalSystemSid) ||
         ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool AnyoneElseMayChange(const ACL* dacl) {
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!::GetAce(const_cast<ACL*>(dacl), index, &ace)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // takes rights away only
    // Conditional and object entries are not judged here, so they are not trusted.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChangingRights) != 0 && !IsTrustedSid(&allowed->SidStart)) return true;
  }
  return false;
}

// A folder that is no link and no file, owned by us or re-secured as ours; created with our
// security when it did not exist. Logs why when it is not.
bool SecureFolder(const std::wstring& path, PSECURITY_DESCRIPTOR protection) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), protection, FALSE};
  if (::CreateDirectoryW(path.c_str(), &attributes)) return true;  // new: nobody else had it
  if (::GetLastError() != ERROR_ALREADY_EXISTS) {
    SfxLog::Write(1, kNotProtectedText, path, 1);
    return false;
  }
  // The entry itself, never what a link points to; with the rights to make it ours.
  ScopedFileHandle folder(::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!folder || !::GetFileInformationByHandle(folder.get(), &information)) {
    SfxLog::Write(1, kNotProtectedText, path, 1);
    return false;
  }
  FolderFacts facts;
  facts.isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Wine opens the target of a symbolic link even when told not to, and shows the link only
  // in the attributes read by name.
  const DWORD byName = ::GetFileAttributesW(path.c_str());
  facts.isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                 (byName != INVALID_FILE_ATTRIBUTES && (byName & FILE_ATTRIBUTE_REPARSE_POINT));
  PSECURITY_DESCRIPTOR current = nullptr;
  if (::GetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        nullptr, nullptr, &current) == ERROR_SUCCESS) {
    const ScopedLocalMemory owned(current);
    facts.security = JudgeFolderSecurity(current);
  }  // unreadable: judged as untrusted, so it is re-secured

  switch (DecideFolderUse(true, facts)) {
    case FolderVerdict::kUse:
      return true;
    case FolderVerdict::kRefuse:
      SfxLog::Write(1, kNotProtectedText, path, 0);
      return false;
    case FolderVerdict::kResecure:
      break;
  }
  // On this handle alone: nothing below the folder is walked, so no link inside is followed.
  // What it holds is emptied before use (the product's folder) or is not this run's (the
  // folders of other products). The descriptor's own flag keeps the parent's entries out.
  if (!::SetKernelObjectSecurity(folder.get(),
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 protection)) {
    SfxLog::Write(1, kNotProtectedText, path, 1);
    return false;
  }
  SfxLog::Write(2, kResecuredText, path, 0);
  return true;
}

}  // namespace

bool RunsElevated() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(sid);
  BOOL member = FALSE;
  return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         ::CheckTokenMembership(nullptr, sid, &member) && member;
}

PSECURITY_DESCRIPTOR NewProtectedFolderDescriptor() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kProtectedFolderSecurity, SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}

FolderSecurity JudgeFolderSecurity(PSECURITY_DESCRIPTOR descriptor) {
  FolderSecurity security;
  if (descriptor == nullptr) return security;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  security.ownerTrusted = ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
                          owner != nullptr && IsTrustedSid(owner);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  // No list at all lets everyone do everything.
  if (::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present &&
      dacl != nullptr) {
    security.othersMayWrite = AnyoneElseMayChange(dacl);
  }
  return security;
}

FolderVerdict DecideFolderUse(bool elevated, const FolderFacts& facts) {
  if (!elevated) return FolderVerdict::kUse;
  if (!facts.isFolder || facts.isLink) return FolderVerdict::kRefuse;
  if (facts.security.ownerTrusted && !facts.security.othersMayWrite) return FolderVerdict::kUse;
  return FolderVerdict::kResecure;
}

bool PrepareOwnFolder(const std::wstring& base, const std::wstring& below, bool elevated) {
  const std::wstring target = base + L"\\" + below;
  // The part below the shell folder comes from the configuration: it must stay below it,
  // or the emptying would remove someone else's files.
  if (!IsSafeEntryName(reinterpret_cast<const uint16_t*>(below.data()), below.size())) {
    SfxLog::Write(1, L"Invalid installer folder name: ", target, 0);
    return false;
  }
  if (!elevated) {
    DeleteFolderTree(target, SfxLog::Write);
    ::SHCreateDirectory(nullptr, target.c_str());  // whether it can be used is tested next
    return true;
  }
  const ScopedLocalMemory protection(NewProtectedFolderDescriptor());
  if (!protection) {
    SfxLog::Write(1, kNotProtectedText, target, 1);
    return false;
  }
  std::wstring path = base;
  for (size_t start = 0; start <= below.size();) {
    const size_t end = below.find_first_of(L"\\/", start);
    path += L"\\" + below.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!SecureFolder(path, protection.get())) return false;
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  DeleteFolderTree(target, SfxLog::Write);
  // Whatever could not be removed (a subfolder whose access list keeps administrators out, a
  // file held open) may be someone else's, who could still change it beside our files: the
  // folder is used only when it could be made anew, with our security, by this run.
  const DWORD left = ::GetFileAttributesW(target.c_str());
  const DWORD error = ::GetLastError();
  if (left != INVALID_FILE_ATTRIBUTES ||
      (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)) {
    SfxLog::Write(1, kNotEmptiedText, target, 0);
    return false;
  }
  return SecureFolder(target, protection.get());
}

}  // namespace zelko
