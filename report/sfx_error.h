// The run's error condition: the first failure a user is to see, with its code (which becomes
// the exit code) and the message composed from the configuration's texts.
#pragma once

#include <string>

namespace zelko {

constexpr int kSfxNoError = 150499;

// Condition codes, one per cause. The numbers are what callers and services see as exit codes.
constexpr int kSfxErrUnsupportedOs = 150105;
constexpr int kSfxErrDiskSpace = 150110;
constexpr int kSfxErrAlreadyInstalled = 150120;
// Another run of the same product is at work: ERROR_INSTALL_ALREADY_RUNNING, the code
// Windows Installer callers already know.
constexpr int kSfxErrAlreadyRunning = 1618;
constexpr int kSfxErrExtractData = 150200;         // archive result 1
constexpr int kSfxErrExtractNoArchive = 150213;    // archive result 17, or archive not opened
constexpr int kSfxErrSetupMissing = 150300;        // the setup program is not on disk
constexpr int kSfxErrSetupStart = 150310;          // the setup program cannot be started
constexpr int kSfxErrGetCurrentDirectory = 150320;
constexpr int kSfxErrSetCurrentDirectory = 150330;
constexpr int kSfxErrExtractResource = 150340;
// ERROR_INSTALL_FAILURE: the run ended without doing its job and without a more precise cause.
constexpr int kSfxErrInstallFailure = 1603;

// Where a condition's message texts come from: the configured text of `key` in the user's
// language, empty when the configuration has none. The program's is SfxConfig::GetText; the
// configuration is read above this folder, so it is handed in.
using ConfiguredText = std::wstring (*)(const wchar_t* key);

struct SFXError {
  // With a null `configuredText` every message is its built-in default (or empty).
  explicit SFXError(ConfiguredText configuredText) : configuredText_(configuredText) {}
  virtual ~SFXError() = default;

  // Logs `logText` (with the system-error line when `detail` is not 0) on every call; the
  // first call also records the condition and composes its message. Later calls change nothing.
  void SetErrorCondition(const std::wstring& logText, int code, int detail);
  // Appends two line feeds, the error-code label and the code to `message`.
  void AppendErrorCode(std::wstring& message) const;

  int code_ = kSfxNoError;
  int detail_ = 0;
  std::wstring message_;
  ConfiguredText configuredText_;
};

// The default text of the unsupported-system condition, also its log text.
const std::wstring& UnsupportedOsDefaultText();

}  // namespace zelko
