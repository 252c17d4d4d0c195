#include <windows.h>

#include "app/sfx_app.h"
#include "extract/resource_writer.h"
#include "app/sfx_config.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "resources/payload_resources.h"

namespace zelko {
namespace {

constexpr int kValidationMismatch = 13;

}  // namespace

BOOL CZelkoSelfExtractorApp::HandleXrdcMode(const wchar_t* commandTail) {
  const std::wstring tail = commandTail != nullptr ? commandTail : L"";
  if (tail.find(L"/xRDC") == std::wstring::npos) return FALSE;
  SfxLog::Write(1, L"Command line in xRDC mode: ", tail, 0);

  const size_t open = tail.find(L'"');
  const size_t close = open == std::wstring::npos ? open : tail.find(L'"', open + 1);
  if (close == std::wstring::npos) {
    SfxLog::Write(1, L"Not valid command line in xRDC mode");
    exitCode_ = kInvalidCommandLine;
    return TRUE;
  }
  const std::wstring folder = tail.substr(open + 1, close - open - 1);
  PlaceResourceFiles(folder);

  exitCode_ = ExtractResourceToFile(configPath_, *this, kConfigResourceId, kConfigResourceType);
  if (exitCode_ != 0) {
    SfxLog::Write(1, L"Failed to extract ZELKO_SFX_INI resource in xRDC mode");
    return TRUE;
  }
  exitCode_ = ExtractResourceToFile(installerBinPath_, *this, kArchiveResourceId, kArchiveResourceType);
  if (exitCode_ != 0) {
    SfxLog::Write(1, L"Failed to extract ARCHIVE_7Z resource in xRDC mode");
  } else {
    bRunSucceeded_ = TRUE;  // both files are where the caller asked for them
  }
  return TRUE;
}

BOOL CZelkoSelfExtractorApp::ValidateArchive() {
  if (!bValidate_) return FALSE;
  // Checking was the whole job; the exit code says how it came out.
  bRunSucceeded_ = TRUE;
  if (!b7zArchive_) {
    SfxLog::Write(1, L"Skipping validation - SFX not ready to validate files.");
    return TRUE;
  }
  SfxLog::Write(1, L"in validation");
  const std::wstring declared = SfxConfig::GetValue(kInstallSection, kArchiveSizeKey);
  if (declared.empty()) return TRUE;
  HRSRC archive = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kArchiveResourceId), kArchiveResourceType);
  const DWORD size = archive != nullptr ? ::SizeofResource(nullptr, archive) : 0;
  exitCode_ = static_cast<DWORD>(ConfigNumber(declared)) == size ? 0 : kValidationMismatch;
  return TRUE;
}

}  // namespace zelko
