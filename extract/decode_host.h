// What the platform-neutral decoding core needs from the run: the shared flags, progress, the
// pause wait, the run log and how many threads may decode. The installer implements it over
// the application object; the packer and the native fuzz and timing builds use a quiet host.
// The core itself makes no system call but those of the parallel LZMA2 decoder's threads
// (decode_threads.h).
#pragma once

#include <cstdint>

namespace zelko {

class DecodeHost {
 public:
  virtual ~DecodeHost() = default;

  // The flags of the run, each read as one whole value at the moment of the call.
  virtual bool IsFinished() = 0;
  virtual bool IsCancelled() = 0;
  virtual bool IsPaused() = 0;
  // Blocks while the cancel confirmation is open (or for a short time when it cannot wait).
  virtual void WaitWhilePaused() = 0;
  virtual void ReportProgress(uint32_t amountKB) = 0;
  // One run-log line at `level`; the text is plain ASCII.
  virtual void LogLine(int level, const char* text) = 0;
  // How many threads may decode one folder at once (at least 1). A folder is split among
  // them only where its data allows it.
  virtual unsigned DecodeThreads() { return 1; }
};

// A host that never pauses or stops and drops progress and log lines.
class QuietDecodeHost : public DecodeHost {
 public:
  bool IsFinished() override { return false; }
  bool IsCancelled() override { return false; }
  bool IsPaused() override { return false; }
  void WaitWhilePaused() override {}
  void ReportProgress(uint32_t) override {}
  void LogLine(int, const char*) override {}
};

// The host the folder decoder reports to on this thread. The SDK calls the folder decoder
// without any context of ours, so the host travels beside the call: whoever drives the SDK
// installs its host for the time of the call with ScopedDecodeHost. Without one, the quiet
// host is used.
DecodeHost& CurrentDecodeHost();
// The host installed on this thread, or null.
DecodeHost* InstalledDecodeHost();

class ScopedDecodeHost {
 public:
  explicit ScopedDecodeHost(DecodeHost& host);
  ~ScopedDecodeHost();
  ScopedDecodeHost(const ScopedDecodeHost&) = delete;
  ScopedDecodeHost& operator=(const ScopedDecodeHost&) = delete;

 private:
  DecodeHost* previous_;
};

}  // namespace zelko
