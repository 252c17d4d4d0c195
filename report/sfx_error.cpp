#include "report/sfx_error.h"

#include <cwchar>

#include "report/run_log.h"
#include "resources/string_keys.h"
#include "win/format_text.h"

#ifndef ZELKO_REQUIREMENTS_URL
#define ZELKO_REQUIREMENTS_URL L"https://www.zelko.example/support/system-requirements"
#endif

namespace zelko {
namespace {

constexpr wchar_t kDiskSpaceMarker[] = L"[DISK_SPACE]";
constexpr wchar_t kDefaultErrorCodeLabel[] = L"Error code: ";

// Codes whose message is the configuration's general failure text.
bool IsGenericCode(int code) {
  if (code >= 150200 && code <= 150213) return true;
  switch (code) {
    case 100000:
    case kSfxErrInstallFailure:
    case 150130:
    case 150140:
    case 150150:
    case 150300:
    case 150310:
    case 150320:
    case 150330:
    case 150340:
    case 150400:
    case 150410:
      return true;
    default:
      return false;
  }
}

// The text the configuration gives for `key`, or `fallback` without one.
std::wstring ConfiguredOr(ConfiguredText configuredText, const wchar_t* key,
                          const std::wstring& fallback) {
  std::wstring value = configuredText != nullptr ? configuredText(key) : L"";
  return value.empty() ? fallback : value;
}

}  // namespace

const std::wstring& UnsupportedOsDefaultText() {
  static const std::wstring text =
      std::wstring(L"This application cannot be installed on this operating system. Setup will "
                   L"now terminate. Please refer to the minimum system requirements at ") +
      ZELKO_REQUIREMENTS_URL + L".";
  return text;
}

void SFXError::SetErrorCondition(const std::wstring& logText, int code, int detail) {
  SfxLog::Write(1, logText, detail != 0);
  if (code_ != kSfxNoError) return;  // the first failure is the one reported

  code_ = code;
  detail_ = detail;
  message_.clear();
  wchar_t line[64];
  FormatText(line, 64, L"** Setting Error Condition: %d", code);
  SfxLog::Write(1, line);

  switch (code) {
    case kSfxErrUnsupportedOs:
      message_ = ConfiguredOr(configuredText_, kSfxUnsupportedOs, UnsupportedOsDefaultText());
      break;
    case kSfxErrDiskSpace:
      message_ = ConfiguredOr(configuredText_, kSfxDlgErrDiskSpace,
                              L"Low disk space. Please, free [DISK_SPACE] MB of disk space and "
                              L"run installer again.");
      message_ = ReplaceAll(message_, kDiskSpaceMarker, DecimalText(detail));
      break;
    case kSfxErrAlreadyInstalled:
      message_ = ConfiguredOr(configuredText_, kSfxDlgErrAlreadyInstalled,
                              L"This product is already installed.");
      break;
    case kSfxErrAlreadyRunning:
      message_ = ConfiguredOr(configuredText_, kSfxDlgErrAlreadyRunning,
                              L"Another installation of this product is already running.");
      break;
    default:
      if (!IsGenericCode(code)) return;  // no message for a code of no group
      message_ = ConfiguredOr(configuredText_, kSfxDlgErrStatus, L"");
      break;
  }
  AppendErrorCode(message_);
}

void SFXError::AppendErrorCode(std::wstring& message) const {
  if (code_ == 0) return;
  wchar_t number[32];
  FormatText(number, 32, L"  %ld", static_cast<long>(code_));
  message += L"\n\n";
  message += ConfiguredOr(configuredText_, kSfxDlgErrCode, kDefaultErrorCodeLabel);
  message += number;
}

}  // namespace zelko
