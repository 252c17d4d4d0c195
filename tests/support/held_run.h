// An installer run held at a known point: its setup program (the test payload's, started with
// the "/hold=" argument this hands to the run) waits until the test lets it go, so the run
// holds everything it holds for as long as the test needs.
#pragma once

#include <functional>
#include <future>
#include <string>

#include "tests/support/process_runner.h"
#include "win/scoped_handle.h"

namespace zelko::test {

class HeldRun {
 public:
  // Starts `run` on its own thread with the "/hold=NAME" argument to pass on to the setup
  // program; NAME differs for every run of the process, so runs can be held side by side.
  explicit HeldRun(std::function<ProcessResult(const std::wstring& holdArgument)> run);
  // A test that stops early still lets the run end before its folders go.
  ~HeldRun();
  HeldRun(const HeldRun&) = delete;
  HeldRun& operator=(const HeldRun&) = delete;

  // Whether the setup program has started and waits. The limit only ends a failing test; a
  // passing one is woken by the setup program.
  bool WaitUntilRunning() const;
  // Lets the setup program end and waits for the run.
  ProcessResult Finish();

 private:
  std::wstring name_;
  ScopedHandle running_;
  ScopedHandle release_;
  std::future<ProcessResult> result_;
};

}  // namespace zelko::test
