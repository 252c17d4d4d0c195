#include "tests/extract/extract_test_support.h"

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "tests/support/temp_folder.h"

namespace zelko::test {

std::wstring Fixture(const std::wstring& name) {
  return FixtureFolder() + L"extract\\" + name;
}

RecordingHost::RecordingHost() : AppDecodeHost(theApp) {}

void RecordingHost::ReportProgress(uint32_t amountKB) {
  amounts.push_back(amountKB);
  if (onProgress) onProgress(amounts.size(), amountKB);
}

void ResetRunState() {
  theApp.bFinished_ = FALSE;
  theApp.bPaused_ = FALSE;
  theApp.bCancelled_ = FALSE;
  theApp.bSilent_ = FALSE;
  theApp.bKiv_ = FALSE;
  theApp.error_ = SFXError(SfxConfig::GetText);
  // As the run makes it before its dialog starts.
  if (theApp.waitEvent_ == nullptr) theApp.waitEvent_ = CreateWaitEvent();
}

std::wstring CurrentDirectory() {
  wchar_t buffer[1024];
  const DWORD length = ::GetCurrentDirectoryW(1024, buffer);
  return std::wstring(buffer, length);
}

void BeginPause() {
  if (theApp.waitEvent_ != nullptr) ::ResetEvent(theApp.waitEvent_);
  theApp.bPaused_ = TRUE;
}

void EndPause() {
  theApp.bPaused_ = FALSE;
  if (theApp.waitEvent_ != nullptr) ::SetEvent(theApp.waitEvent_);
}

void AnswerPause(const std::function<void()>& whilePaused) {
  constexpr ULONGLONG kPauseWaitMs = 30000;
  const ULONGLONG deadline = ::GetTickCount64() + kPauseWaitMs;
  while (!theApp.bPaused_) {
    if (::GetTickCount64() > deadline) {
      ADD_FAILURE() << "the extraction did not pause within 30 seconds";
      theApp.bFinished_ = TRUE;
      return;
    }
    ::Sleep(1);
  }
  if (whilePaused) whilePaused();
  EndPause();
}

}  // namespace zelko::test
