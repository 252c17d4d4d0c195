// What every coder of a folder does between two of its input steps: report the output of the
// steps before, wait while the cancel confirmation is open, and stop once the run is finished
// or cancelled. The coder loops (LZMA, LZMA2, copy) share it, so the bar moves, a pause holds
// and a cancel takes effect within one step whatever the method.
#pragma once

#include <cstddef>
#include <cstdint>

#include "extract/decode_host.h"

namespace zelko {

class CoderSteps {
 public:
  // Each step reports at least this much (1 KB), and whole units of it otherwise.
  static constexpr size_t kProgressUnit = 1024;

  explicit CoderSteps(DecodeHost& host) : host_(host) {}

  // Called after a step was decoded and found not to end the coder, before its input is
  // consumed. `stepStart` is the output position at the start of that step: what came before
  // it is reported now, so the first step reports 1 KB and the step that ends the coder is
  // never reported. False when the coder must stop (the run is finished or cancelled): the
  // caller returns SZ_OK with its output incomplete, and the check sums tell the rest.
  bool BetweenSteps(size_t stepStart) {
    const size_t produced = stepStart - reportedPos_;
    const uint32_t amountKB =
        produced <= kProgressUnit ? 1 : static_cast<uint32_t>(produced / kProgressUnit);
    if (Stopped()) return false;
    if (host_.IsPaused()) {
      host_.WaitWhilePaused();
      // A pause still in force goes on here: the next step waits again.
      if (Stopped()) return false;
    }
    host_.ReportProgress(amountKB);
    reportedPos_ = stepStart;
    return true;
  }

  bool Stopped() { return host_.IsFinished() || host_.IsCancelled(); }

 private:
  DecodeHost& host_;
  size_t reportedPos_ = 0;
};

}  // namespace zelko
