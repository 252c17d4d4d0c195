#include "extract/write_queue.h"

#include <cstring>
#include <mutex>
#include <new>

namespace zelko {
namespace {

// How often a thread that waits for the other looks at the run's flags.
constexpr unsigned kFlagPollMs = 10;

}  // namespace

void SharedDecodeHost::ReportProgress(uint32_t amountKB) {
  std::lock_guard<DecodeMutex> lock(lock_);
  inner_.ReportProgress(amountKB);
}

void SharedDecodeHost::LogLine(int level, const char* text) {
  std::lock_guard<DecodeMutex> lock(lock_);
  inner_.LogLine(level, text);
}

WriteQueue::~WriteQueue() {
  {
    std::lock_guard<DecodeMutex> lock(mutex_);
    quit_ = true;
  }
  wake_.NotifyAll();
  thread_.Join();
}

bool WriteQueue::Start() {
  try {
    queue_.reserve(kSlots);
    free_.reserve(kSlots);
    for (size_t i = 0; i < kSlots; ++i) {
      memory_.emplace_back(new Byte[kSlotSize]);
      free_.push_back(memory_.back().get());
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return thread_.Start(&WriteQueue::Main, this);
}

SRes WriteQueue::Put(const Byte* data, size_t size) {
  while (size != 0) {
    Byte* slot = nullptr;
    {
      std::lock_guard<DecodeMutex> lock(mutex_);
      while (result_ == SZ_OK && free_.empty()) {
        if (host_.IsFinished() || host_.IsCancelled()) return SZ_OK;
        wake_.WaitFor(mutex_, kFlagPollMs);
      }
      if (result_ != SZ_OK) return result_;
      slot = free_.back();
      free_.pop_back();
    }
    const size_t n = size < kSlotSize ? size : kSlotSize;
    memcpy(slot, data, n);
    {
      std::lock_guard<DecodeMutex> lock(mutex_);
      queue_.push_back({slot, n});
    }
    wake_.NotifyAll();
    data += n;
    size -= n;
  }
  return SZ_OK;
}

SRes WriteQueue::Drain(bool abandon) {
  std::lock_guard<DecodeMutex> lock(mutex_);
  if (abandon) abandon_ = true;
  wake_.NotifyAll();
  while (busy_ || !queue_.empty()) wake_.WaitFor(mutex_, kFlagPollMs);
  abandon_ = false;
  const SRes result = result_;
  result_ = SZ_OK;
  return result;
}

void WriteQueue::Main(void* self) { static_cast<WriteQueue*>(self)->Work(); }

void WriteQueue::Work() {
  ScopedDecodeHost hostScope(host_);
  std::unique_lock<DecodeMutex> lock(mutex_);
  for (;;) {
    while (!quit_ && queue_.empty()) wake_.Wait(mutex_);
    if (queue_.empty()) return;  // quit
    const Slot slot = queue_.front();
    const bool write = result_ == SZ_OK && !abandon_;
    busy_ = true;
    lock.unlock();
    const SRes res = write ? writer_.Put(slot.data, slot.size) : SZ_OK;
    lock.lock();
    if (res != SZ_OK && result_ == SZ_OK) result_ = res;
    queue_.erase(queue_.begin());
    free_.push_back(slot.data);
    busy_ = false;
    wake_.NotifyAll();
  }
}

}  // namespace zelko
