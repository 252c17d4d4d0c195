#include <windows.h>
#include <shlobj.h>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "checks/folder_protection.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/string_keys.h"
#include "ui/progress_dialog.h"
#include "win/com_apartment.h"
#include "win/folder_tree.h"
#include "win/scoped_handle.h"

namespace zelko {
namespace {

constexpr wchar_t kDefaultBrowsePrompt[] = L"Select folder to extract installation files";

// An item list the shell allocated (the folder browser's result); the shell's allocator is
// the COM task allocator.
struct ItemIdListTraits {
  using Type = PIDLIST_ABSOLUTE;
  static Type Invalid() { return nullptr; }
  static void Close(Type item) { ::CoTaskMemFree(item); }
};
using ScopedItemIdList = UniqueResource<ItemIdListTraits>;

}  // namespace

BOOL CZelkoSelfExtractorApp::PrepareInstallerFolder(int shellFolderId) {
  DWORD error = 0;
  if (shellFolderId >= 0) {
    wchar_t shellFolder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, shellFolderId | CSIDL_FLAG_CREATE, nullptr,
                                  SHGFP_TYPE_CURRENT, shellFolder))) {
      SfxLog::Write(2, L"SHGetFolderPath failed");
      return FALSE;
    }
    std::wstring below = L"Zelko\\Setup\\" + SfxConfig::GetValue(kInstallSection, kProductCodeKey);
    if (bRdcMode_ && bProductInstalled_) below += L"\\RDC";
    installFolder_ = std::wstring(shellFolder) + L"\\" + below;
    // Our own per-product folder: whatever an earlier run left in it goes. The all-users one
    // is open to every user; an elevated run makes each folder of its path its own first.
    const bool protect = shellFolderId == CSIDL_COMMON_APPDATA && RunsElevated();
    if (!PrepareOwnFolder(shellFolder, below, protect)) return FALSE;
    bInstallFolderOwned_ = TRUE;
    ::SHCreateDirectory(nullptr, installFolder_.c_str());
  } else {
    // A folder the user named is used as it is, never emptied: it may hold their files.
    bInstallFolderOwned_ = ::GetFileAttributesW(installFolder_.c_str()) == INVALID_FILE_ATTRIBUTES;
    // The folders made on the way to it are this run's: if it cannot be used, they go again.
    error = CreateFolderPath(installFolder_, createdFolders_);
  }
  if (error == 0) error = TestFolderWritable(installFolder_);
  if (error != 0) {
    ::SetLastError(error);
    SfxLog::Write(1, L"Cannot write in directory: ", installFolder_, 1);
    RemoveCreatedFolders(createdFolders_);
    return FALSE;
  }
  SfxLog::Write(2, L"Installer folder: " + installFolder_);
  return TRUE;
}

CZelkoSelfExtractorApp::FolderPick CZelkoSelfExtractorApp::BrowseForFolder() {
  std::wstring prompt = SfxConfig::GetText(kSfxDlgSelectExtractFilesFolder);
  if (prompt.empty()) prompt = kDefaultBrowsePrompt;
  // The browser runs shell extensions of the folders it shows, which need COM on this thread.
  ScopedComApartment com;
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW browse{};
  browse.hwndOwner = dialog_ != nullptr ? dialog_->GetSafeHwnd() : nullptr;
  browse.pszDisplayName = displayName;  // the chosen item's name, not a path
  browse.lpszTitle = prompt.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  const ScopedItemIdList item(::SHBrowseForFolderW(&browse));
  if (!item) {
    SfxLog::Write(2, L"User canceled browse for folder");
    return FolderPick::kCancelled;
  }
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(item.get(), path) || path[0] == L'\0') {
    SfxLog::Write(2, L"Selected folder has no file system path");
    return FolderPick::kNoPath;
  }
  installFolder_ = path;
  return FolderPick::kChosen;
}

}  // namespace zelko
