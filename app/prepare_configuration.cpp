// Interim preparation of the configuration: the support folder in the temporary folder and
// "config.bin" written from the configuration resource in one piece, so that every later step
// reads real settings. The full preparation (write test, progress, RDC detection) replaces it.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "report/run_log.h"
#include "win/file.h"

namespace zelko {
namespace {

constexpr wchar_t kConfigResourceType[] = L"ZELKO_SFX_INI";
constexpr int kConfigResourceId = 133;

bool WriteResource(const wchar_t* type, int id, const std::wstring& path) {
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  HGLOBAL loaded = resource != nullptr ? ::LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return false;
  CFile file;
  if (!file.Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS)) return false;
  try {
    file.Write(bytes, ::SizeofResource(nullptr, resource));
  } catch (const CFileException&) {
    return false;
  }
  return true;
}

}  // namespace

BOOL CZelkoSelfExtractorApp::PrepareConfiguration() {
  wchar_t temp[MAX_PATH];
  const DWORD length = ::GetTempPathW(MAX_PATH, temp);
  tempPath_.assign(temp, length < MAX_PATH ? length : 0);
  if (tempPath_.empty()) {
    SfxLog::Write(1, L"Unable to get Temp folder: ", tempPath_, 0);
    return FALSE;
  }
  SfxLog::Write(1, L"TempFolder: ", tempPath_, 0);

  for (int attempt = 0; attempt < 10; ++attempt) {
    supportFolder_ = tempPath_ + std::to_wstring(rand());
    if (::CreateDirectoryW(supportFolder_.c_str(), nullptr)) break;
  }
  SfxLog::Write(1, L"Support folder: ", supportFolder_, 0);
  configPath_ = supportFolder_ + L"\\config.bin";
  installerBinPath_ = supportFolder_ + L"\\installer.bin";

  if (!WriteResource(kConfigResourceType, kConfigResourceId, configPath_)) {
    SfxLog::Write(1, L"Failed to extract configuration file - please contact technical support.");
    Cleanup();
    return FALSE;
  }
  if (SfxConfig::GetValue(L"INSTALL", L"ProductCode").empty()) {
    SfxLog::Write(1, L"Invalid configuration information - missing Product Code");
    Cleanup();
    return FALSE;
  }
  return TRUE;
}

}  // namespace zelko
