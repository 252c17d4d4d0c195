#include "app/product_run_lock.h"

#include <sddl.h>

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "resources/config_keys.h"

namespace zelko {
namespace {

constexpr wchar_t kLockPrefix[] = L"Global\\ZelkoSFX.Product.";
// Object names are limited to MAX_PATH characters. A longer product code is cut: two
// products that then share a lock only wait for each other, they never share a folder.
constexpr size_t kMaxCodeInName = 200;
// Every run, elevated or not, of any session, may wait for and release the lock; only
// SYSTEM and administrators may do more with it. Without this the default security of an
// elevated creator would keep a plain run from even looking at the lock.
constexpr wchar_t kLockSecurity[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)";
constexpr DWORD kLockAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

}  // namespace

std::wstring ProductRunLockName(const std::wstring& productCode) {
  std::wstring name = kLockPrefix;
  for (wchar_t c : productCode.substr(0, kMaxCodeInName)) {
    // Plain ASCII upper-casing: the same name whatever the user's locale. A backslash would
    // name a subdirectory of the object namespace, which does not exist.
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c == L'\\') c = L'/';
    name.push_back(c);
  }
  return name;
}

ProductRunLock::~ProductRunLock() {
  if (owned_) ::ReleaseMutex(mutex_.get());
}

bool ProductRunLock::Acquire(const std::wstring& productCode, DWORD* error) {
  *error = 0;
  PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSecurity, SDDL_REVISION_1,
                                                         &rawDescriptor, nullptr);
  const ScopedLocalMemory descriptor(rawDescriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), rawDescriptor, FALSE};
  mutex_.reset(::CreateMutexExW(&attributes, ProductRunLockName(productCode).c_str(), 0,
                                kLockAccess));
  if (!mutex_) {
    *error = ::GetLastError();
    return false;
  }
  const DWORD wait = ::WaitForSingleObject(mutex_.get(), 0);
  owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  if (wait == WAIT_FAILED) *error = ::GetLastError();
  return owned_;
}

BOOL CZelkoSelfExtractorApp::AcquireProductRunLock() {
  const std::wstring productCode = SfxConfig::GetValue(kInstallSection, kProductCodeKey);
  DWORD error = 0;
  if (productRunLock_.Acquire(productCode, &error)) return TRUE;
  // The log's system-error line reads the last error.
  ::SetLastError(error);
  error_.SetErrorCondition(L"Installation already running: " + ProductRunLockName(productCode),
                           kSfxErrAlreadyRunning, static_cast<int>(error));
  return FALSE;
}

}  // namespace zelko
