#include <windows.h>

#include <cwchar>

#include "app/sfx_app.h"
#include "extract/resource_writer.h"
#include "app/sfx_config.h"
#include "app/support_folder.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/payload_resources.h"
#include "resources/string_keys.h"
#include "win/folder_tree.h"
#include "win/format_text.h"
#include "win/system_message.h"
#include "win/temp_path.h"

namespace zelko {
namespace {

constexpr wchar_t kConfigNotWritten[] =
    L"Failed to extract configuration file - please contact technical support.";
constexpr wchar_t kNoProductCode[] = L"Invalid configuration information - missing Product Code";
constexpr wchar_t kRdcMismatch[] =
    L"RDC information in the configuration file does not match actual RDC resource";

// The longest path the run makes in its support folder: the temporary folder, a number of
// up to ten digits, a backslash and "installer.bin". The configuration lookup and the file
// calls take paths below MAX_PATH only.
constexpr size_t kSupportPathBeyondTemp = 10 + 1 + sizeof(kArchiveFileName) / sizeof(wchar_t) - 1;

// Before the configuration exists there are no configured texts: plain system boxes.
void ShowPlainMessage(BOOL silent, const std::wstring& text) {
  if (!silent) ::MessageBoxW(nullptr, text.c_str(), kDefaultSetupTitle, MB_OK);
}

}  // namespace

BOOL CZelkoSelfExtractorApp::PrepareConfiguration() {
  tempPath_ = TempPath();
  if (tempPath_.empty()) {
    SfxLog::Write(1, L"Unable to get Temp folder: ", tempPath_, 0);
    exitCode_ = kInstallTempUnwritable;
    return FALSE;
  }
  SfxLog::Write(1, L"TempFolder: ", tempPath_, 0);
  if (tempPath_.size() + kSupportPathBeyondTemp >= MAX_PATH) {
    // Past MAX_PATH the configuration could not be read back, and the run would go on as
    // if it had none.
    SfxLog::Write(1, L"Temp folder too long for the run's files: ", tempPath_, 0);
    exitCode_ = kInstallTempUnwritable;
    return FALSE;
  }

  // A folder this run did not create is never used: it may belong to someone else.
  const DWORD createError = supportFolder_.empty() ? CreateSupportFolder(supportFolder_) : 0;
  const DWORD writeError = createError != 0 ? createError : TestFolderWritable(supportFolder_);
  if (writeError != 0) {
    wchar_t text[1024];
    FormatText(text, 1024, L"Unable to write to temporary directory: %ls error = %d => %ls",
               supportFolder_.c_str(), static_cast<int>(writeError),
               SystemMessageText(writeError).c_str());
    SfxLog::Write(1, text);
    ShowPlainMessage(bSilent_, text);
    exitCode_ = static_cast<int32_t>(writeError);
    return FALSE;
  }
  SfxLog::Write(1, L"Support folder: ", supportFolder_, 0);
  RemoveAbandonedSupportFolders(tempPath_, supportFolder_);

  PlaceResourceFiles(supportFolder_);

  exitCode_ = ExtractResourceToFile(configPath_, *this, kConfigResourceId, kConfigResourceType);
  if (exitCode_ != 0) {
    ShowPlainMessage(bSilent_, kConfigNotWritten);
    Cleanup();
    return FALSE;
  }
  if (SfxConfig::GetValue(kInstallSection, kProductCodeKey).empty()) {
    SfxLog::Write(1, kNoProductCode);
    ShowPlainMessage(bSilent_, kNoProductCode);
    exitCode_ = kInstallPackageInvalid;
    Cleanup();
    return FALSE;
  }
  return DetectRdcMode();
}

void CZelkoSelfExtractorApp::PlaceResourceFiles(const std::wstring& folder) {
  configPath_ = folder + L"\\" + kConfigFileName;
  installerBinPath_ = folder + L"\\" + kArchiveFileName;
  ::DeleteFileW(configPath_.c_str());
  ::DeleteFileW(installerBinPath_.c_str());
}

BOOL CZelkoSelfExtractorApp::DetectRdcMode() {
  HRSRC rdc = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kRdcArchiveResourceId), kRdcArchiveResourceType);
  if (rdc == nullptr || ::SizeofResource(nullptr, rdc) == 0) return TRUE;

  const std::wstring declared = SfxConfig::GetValue(kInstallSection, kRdcArchiveSizeKey);
  if (!declared.empty() && ConfigNumber(declared) >= 1) {
    SfxLog::Write(1, L"Found RDC resource and valid configuration information - setting RDC mode");
    bRdcMode_ = TRUE;
    rdcBinPath_ = supportFolder_ + L"\\" + kRdcArchiveFileName;
    ::DeleteFileW(rdcBinPath_.c_str());
    return TRUE;
  }
  ShowPlainMessage(bSilent_, kRdcMismatch);
  exitCode_ = kInstallPackageInvalid;
  Cleanup();
  return FALSE;
}

}  // namespace zelko
