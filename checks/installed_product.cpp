#include <windows.h>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "report/run_log.h"
#include "resources/config_keys.h"
#include "win/scoped_handle.h"
#include "win/system_library.h"

namespace zelko {
namespace {

constexpr UINT kUnknownProduct = 1605;  // ERROR_UNKNOWN_PRODUCT

using MsiGetProductInfoFn = UINT(WINAPI*)(LPCWSTR product, LPCWSTR property, LPWSTR value,
                                          LPDWORD length);

// Asks Windows Installer for the product's version. msi.dll is not a known DLL, so it is bound
// here from System32 only, never through the import table, which would search the program's
// own folder (often a downloads folder) first.
UINT QueryProductVersion(const std::wstring& productCode) {
  ScopedModule msi(LoadSystemLibrary(L"msi.dll"));
  const auto getProductInfo = msi ? reinterpret_cast<MsiGetProductInfoFn>(reinterpret_cast<void*>(
                                        ::GetProcAddress(msi.get(), "MsiGetProductInfoW")))
                                  : nullptr;
  if (getProductInfo == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  wchar_t value[260] = {};
  DWORD length = 260;
  return getProductInfo(productCode.c_str(), L"VersionString", value, &length);
}

}  // namespace

BOOL CZelkoSelfExtractorApp::IsAlreadyInstalled() {
  SfxLog::Write(1, L"IsAlreadyInstalled...");
  if (bDoNotExecute_) return FALSE;  // such runs (the updater's) extract over an installed product

  const std::wstring productCode = SfxConfig::GetValue(kInstallSection, kProductCodeKey);
  if (QueryProductVersion(productCode) == kUnknownProduct) return FALSE;

  // Any other answer, an error included, counts as installed: better to stop than to run a
  // second installation over the product.
  bProductInstalled_ = TRUE;
  if (!bRdcMode_) {
    error_.SetErrorCondition(L"Product already installed", kSfxErrAlreadyInstalled,
                             static_cast<int>(::GetLastError()));
  }
  return TRUE;
}

}  // namespace zelko
