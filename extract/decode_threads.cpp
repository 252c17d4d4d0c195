#include "extract/decode_threads.h"

#ifndef _WIN32
#include <chrono>
#include <system_error>
#endif

namespace zelko {

#ifdef _WIN32

void DecodeMutex::lock() { ::AcquireSRWLockExclusive(&lock_); }
void DecodeMutex::unlock() { ::ReleaseSRWLockExclusive(&lock_); }

void DecodeCondition::Wait(DecodeMutex& mutex) {
  ::SleepConditionVariableSRW(&condition_, &mutex.lock_, INFINITE, 0);
}
void DecodeCondition::WaitFor(DecodeMutex& mutex, unsigned milliseconds) {
  ::SleepConditionVariableSRW(&condition_, &mutex.lock_, milliseconds, 0);
}
void DecodeCondition::NotifyOne() { ::WakeConditionVariable(&condition_); }
void DecodeCondition::NotifyAll() { ::WakeAllConditionVariable(&condition_); }

DWORD WINAPI DecodeThread::Main(void* self) {
  const DecodeThread* thread = static_cast<const DecodeThread*>(self);
  thread->run_(thread->argument_);
  return 0;
}

bool DecodeThread::Start(void (*run)(void*), void* argument) {
  run_ = run;
  argument_ = argument;
  handle_ = ::CreateThread(nullptr, 0, &DecodeThread::Main, this, 0, nullptr);
  return handle_ != nullptr;
}

void DecodeThread::Join() {
  if (handle_ == nullptr) return;
  ::WaitForSingleObject(handle_, INFINITE);
  ::CloseHandle(handle_);
  handle_ = nullptr;
}

#else

void DecodeMutex::lock() { mutex_.lock(); }
void DecodeMutex::unlock() { mutex_.unlock(); }

void DecodeCondition::Wait(DecodeMutex& mutex) {
  std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
  condition_.wait(lock);
  lock.release();
}
void DecodeCondition::WaitFor(DecodeMutex& mutex, unsigned milliseconds) {
  std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
  condition_.wait_for(lock, std::chrono::milliseconds(milliseconds));
  lock.release();
}
void DecodeCondition::NotifyOne() { condition_.notify_one(); }
void DecodeCondition::NotifyAll() { condition_.notify_all(); }

bool DecodeThread::Start(void (*run)(void*), void* argument) {
  run_ = run;
  argument_ = argument;
  try {
    thread_ = std::thread(run, argument);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void DecodeThread::Join() {
  if (thread_.joinable()) thread_.join();
}

#endif

}  // namespace zelko
