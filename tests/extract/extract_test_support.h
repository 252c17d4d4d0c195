// Shared pieces of the extraction tests: where the archives are, a progress recorder and a
// clean run state.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "extract/pause_wait.h"
#include "tests/support/installer_run.h"  // FixtureFolder
#include "tests/support/temp_folder.h"    // FolderEntries

namespace zelko::test {

// `name` in the folder of archives that make_fixtures.sh made.
std::wstring Fixture(const std::wstring& name);

// The run's host over theApp, recording every progress amount. `onProgress`, when set, runs
// after each amount is recorded, with the number of amounts so far; tests use it to act as
// the user at an exact point of the extraction.
class RecordingHost : public AppDecodeHost {
 public:
  RecordingHost();
  void ReportProgress(uint32_t amountKB) override;

  std::vector<uint32_t> amounts;
  std::function<void(size_t count, uint32_t amountKB)> onProgress;
};

// A run acting as the user at an exact progress report: pauses there (the wait then ends the
// pause) or cancels there. It lets the decoder use `threads` threads.
struct ScriptedHost : QuietDecodeHost {
  bool IsFinished() override { return finished; }
  bool IsCancelled() override { return finished; }
  bool IsPaused() override { return paused; }
  void WaitWhilePaused() override {
    ++waits;
    paused = false;
  }
  void ReportProgress(uint32_t amount) override {
    amounts.push_back(amount);
    if (amounts.size() == pauseAt) paused = true;
    if (amounts.size() == cancelAt) finished = true;
  }
  unsigned DecodeThreads() override { return threads; }

  size_t pauseAt = 0, cancelAt = 0;
  bool paused = false, finished = false;
  int waits = 0;
  unsigned threads = 1;
  std::vector<uint32_t> amounts;
};

// Clears the shared flags and the error condition of theApp, and makes "WaitEvent" when
// there is none.
void ResetRunState();

// A test of the run's extraction: a clean run state before and after, a temporary folder,
// and the recording host installed.
class RecordedRunTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRunState(); }
  void TearDown() override { ResetRunState(); }

  TempFolder temp_;
  RecordingHost host_;
  ScopedDecodeHost hostScope_{host_};
};

// The current directory.
std::wstring CurrentDirectory();

// The user-interface side of a pause: reset the event, then set bPaused_ ...
void BeginPause();
// ... and when the question closes: clear bPaused_, then signal the event.
void EndPause();

// The user-interface thread's side of a pause that the extraction opens itself (BeginPause
// from its progress): waits for bPaused_, runs `whilePaused`, then ends the pause. A pause
// that has not come within 30 seconds fails the test, and the run is marked finished so that
// a pause opened later cannot hold the extraction for ever.
void AnswerPause(const std::function<void()>& whilePaused = {});

}  // namespace zelko::test
