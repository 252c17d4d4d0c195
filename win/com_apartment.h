// COM for the calling thread, single-threaded apartment, for as long as the object lives:
// the shell's folder browser and ShellExecuteExW may hand their work to shell extensions,
// which need it.
#pragma once

#include <objbase.h>

namespace zelko {

class ScopedComApartment {
 public:
  ScopedComApartment()
      : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED |
                                                         COINIT_DISABLE_OLE1DDE))) {}
  ~ScopedComApartment() {
    // Only a successful call (S_FALSE included: already initialised the same way) is
    // matched; a thread already in another apartment keeps it untouched.
    if (initialised_) ::CoUninitialize();
  }
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  bool initialised_;
};

}  // namespace zelko
