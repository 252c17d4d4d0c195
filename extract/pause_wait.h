// The pause wait of the extraction and the run's side of the decoding core.
#pragma once

#include <windows.h>

#include <cstdint>

#include "extract/decode_host.h"

namespace zelko {

class CZelkoSelfExtractorApp;

// The named manual-reset event "WaitEvent", not signalled at first, or null when it cannot be
// created. The run makes it once, into theApp.waitEvent_, before the user-interface thread
// starts, and keeps it until the process ends.
HANDLE CreateWaitEvent();

// Blocks the extraction while the cancel confirmation is open (theApp.bPaused_ set and
// bFinished_ not), on theApp.waitEvent_. Always returns TRUE.
//
// The event is never reset here: the user-interface thread resets it before it sets bPaused_
// and signals it after it has cleared bPaused_. Waiting in short slices and testing the flags
// again after every slice means a release can never be lost, whatever the order of those
// steps and of this wait; without the event the slices are sleeps.
BOOL WaitWhilePaused();

// The decoding core's view of the run: the application's flags, the pause wait, progress
// through ReportProgress and the run log.
class AppDecodeHost : public DecodeHost {
 public:
  explicit AppDecodeHost(CZelkoSelfExtractorApp& app) : app_(app) {}

  bool IsFinished() override;
  bool IsCancelled() override;
  bool IsPaused() override;
  void WaitWhilePaused() override;
  void ReportProgress(uint32_t amountKB) override;
  void LogLine(int level, const char* text) override;
  // The machine's logical processors.
  unsigned DecodeThreads() override;

 private:
  CZelkoSelfExtractorApp& app_;
};

// The host installed on this thread (tests install their own to record progress), or else
// the one over theApp.
DecodeHost& RunDecodeHost();

}  // namespace zelko
