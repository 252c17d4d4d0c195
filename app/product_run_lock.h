// One run per product at a time, across the whole machine: two runs of one product would
// empty and fill the same installer folder under each other.
#pragma once

#include <windows.h>

#include <string>

#include "win/scoped_handle.h"

namespace zelko {

// The name of the machine-wide lock of the product `productCode`. Product codes differ only
// in case from run to run ("{abc...}" and "{ABC...}" are one product), so the letters are
// upper-cased. The name lives in the Global namespace: the all-users installer folder is
// shared by every session, so an elevated run and a plain one of another session (or a
// service's run in session 0) must exclude each other too, which a Local name would not do.
std::wstring ProductRunLockName(const std::wstring& productCode);

// A named mutex owned by the thread that acquired it, released when the object goes. A run
// that ended without releasing it (killed, crashed) leaves it abandoned: the next run takes it
// over, since nothing of the old run is still working in the folder.
class ProductRunLock {
 public:
  ProductRunLock() = default;
  ~ProductRunLock();
  ProductRunLock(const ProductRunLock&) = delete;
  ProductRunLock& operator=(const ProductRunLock&) = delete;

  // True when this thread now holds the lock of `productCode`. False when another run holds
  // it, or when the lock cannot be opened at all (taken as held: an object of that name that
  // we may not use means someone else is there); `*error` is then the system error code, 0
  // when the lock was simply held.
  bool Acquire(const std::wstring& productCode, DWORD* error);

 private:
  ScopedHandle mutex_;
  bool owned_ = false;
};

}  // namespace zelko
