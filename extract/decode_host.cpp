#include "extract/decode_host.h"

namespace zelko {
namespace {

QuietDecodeHost& QuietHost() {
  static QuietDecodeHost host;
  return host;
}

thread_local DecodeHost* currentHost = nullptr;

}  // namespace

DecodeHost& CurrentDecodeHost() { return currentHost ? *currentHost : QuietHost(); }

DecodeHost* InstalledDecodeHost() { return currentHost; }

ScopedDecodeHost::ScopedDecodeHost(DecodeHost& host) : previous_(currentHost) {
  currentHost = &host;
}

ScopedDecodeHost::~ScopedDecodeHost() { currentHost = previous_; }

}  // namespace zelko
