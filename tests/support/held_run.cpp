#include "tests/support/held_run.h"

#include <windows.h>

#include <atomic>

namespace zelko::test {
namespace {

std::wstring NewHoldName() {
  static std::atomic<int> count{0};
  return L"ZelkoTestHold." + std::to_wstring(::GetCurrentProcessId()) + L"." +
         std::to_wstring(++count);
}

}  // namespace

HeldRun::HeldRun(std::function<ProcessResult(const std::wstring& holdArgument)> run)
    : name_(NewHoldName()),
      running_(::CreateEventW(nullptr, TRUE, FALSE, (name_ + L".running").c_str())),
      release_(::CreateEventW(nullptr, TRUE, FALSE, (name_ + L".release").c_str())),
      result_(std::async(std::launch::async, std::move(run), L"/hold=" + name_)) {}

HeldRun::~HeldRun() { ::SetEvent(release_.get()); }

bool HeldRun::WaitUntilRunning() const {
  return ::WaitForSingleObject(running_.get(), 60000) == WAIT_OBJECT_0;
}

ProcessResult HeldRun::Finish() {
  ::SetEvent(release_.get());
  return result_.get();
}

}  // namespace zelko::test
