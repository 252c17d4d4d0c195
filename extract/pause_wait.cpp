#include "extract/pause_wait.h"

#include <string>

#include "app/sfx_app.h"
#include "report/run_log.h"
#include "ui/progress.h"

namespace zelko {
namespace {

constexpr wchar_t kWaitEventName[] = L"WaitEvent";
// One slice of the wait. The flags are looked at again after each, so a signal that came
// before the wait began, or a pause that ended without one, costs at most this long.
constexpr DWORD kWaitSliceMs = 100;

}  // namespace

HANDLE CreateWaitEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, kWaitEventName); }

BOOL WaitWhilePaused() {
  const CZelkoSelfExtractorApp& app = theApp;
  while (app.bPaused_ && !app.bFinished_) {
    if (app.waitEvent_ != nullptr) {
      ::WaitForSingleObject(app.waitEvent_, kWaitSliceMs);
    } else {
      ::Sleep(kWaitSliceMs);
    }
  }
  return TRUE;
}

bool AppDecodeHost::IsFinished() { return app_.bFinished_ != FALSE; }
bool AppDecodeHost::IsCancelled() { return app_.bCancelled_ != FALSE; }
bool AppDecodeHost::IsPaused() { return app_.bPaused_ != FALSE; }
void AppDecodeHost::WaitWhilePaused() { zelko::WaitWhilePaused(); }
void AppDecodeHost::ReportProgress(uint32_t amountKB) { zelko::ReportProgress(amountKB); }

void AppDecodeHost::LogLine(int level, const char* text) {
  std::wstring line;
  for (const char* c = text; *c != '\0'; ++c) line.push_back(static_cast<unsigned char>(*c));
  SfxLog::Write(level, line);
}

unsigned AppDecodeHost::DecodeThreads() {
  const DWORD count = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count == 0 ? 1 : static_cast<unsigned>(count);
}

DecodeHost& RunDecodeHost() {
  static AppDecodeHost appHost(theApp);
  DecodeHost* installed = InstalledDecodeHost();
  return installed != nullptr ? *installed : appHost;
}

}  // namespace zelko
