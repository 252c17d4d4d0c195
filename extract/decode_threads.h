// The few threading pieces that the parallel LZMA2 decoder needs: a lock, a condition to wait
// on, and a thread that is joined when it goes. On Windows they are the system's own (slim
// reader-writer lock, condition variable, CreateThread), which cost the installer almost
// nothing; elsewhere (the native fuzz and timing builds) the standard library's.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace zelko {

class DecodeMutex {
 public:
  DecodeMutex() = default;
  DecodeMutex(const DecodeMutex&) = delete;
  DecodeMutex& operator=(const DecodeMutex&) = delete;

  // As std::lock_guard and std::unique_lock want them.
  void lock();
  void unlock();

 private:
  friend class DecodeCondition;
#ifdef _WIN32
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  std::mutex mutex_;
#endif
};

class DecodeCondition {
 public:
  DecodeCondition() = default;
  DecodeCondition(const DecodeCondition&) = delete;
  DecodeCondition& operator=(const DecodeCondition&) = delete;

  // Waits, with `mutex` held, until notified (or spuriously); the caller tests its condition
  // again.
  void Wait(DecodeMutex& mutex);
  // The same, for at most about `milliseconds`.
  void WaitFor(DecodeMutex& mutex, unsigned milliseconds);
  void NotifyOne();
  void NotifyAll();

 private:
#ifdef _WIN32
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
#else
  std::condition_variable condition_;
#endif
};

class DecodeThread {
 public:
  DecodeThread() = default;
  ~DecodeThread() { Join(); }
  DecodeThread(const DecodeThread&) = delete;
  DecodeThread& operator=(const DecodeThread&) = delete;

  // Runs `run(argument)` on a new thread; false when the system gives no thread.
  bool Start(void (*run)(void*), void* argument);
  // Waits for the thread's end; nothing when none was started.
  void Join();

 private:
  void (*run_)(void*) = nullptr;
  void* argument_ = nullptr;
#ifdef _WIN32
  static DWORD WINAPI Main(void* self);
  HANDLE handle_ = nullptr;
#else
  std::thread thread_;
#endif
};

}  // namespace zelko
