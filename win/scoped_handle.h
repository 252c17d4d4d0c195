// Move-only owners for Win32 resources. Each resource kind has its own type, so a handle that
// is invalid as NULL cannot be mixed up with one that is invalid as INVALID_HANDLE_VALUE.
#pragma once

#include <windows.h>

#include <utility>

namespace zelko {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(Type value) noexcept : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }
  Type get() const noexcept { return value_; }

  // Hands the resource to the caller, who then owns it.
  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  // Closes the owned resource (if any) and takes `value`. Keeps the caller's last error, so
  // cleanup on a failure path never hides the error that caused it.
  void reset(Type value = Traits::Invalid()) noexcept {
    if (valid()) {
      const DWORD saved = ::GetLastError();
      Traits::Close(value_);
      ::SetLastError(saved);
    }
    value_ = value;
  }

 private:
  Type value_;
};

struct HandleTraits {  // events, threads, processes, pipes opened by name
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFileW and friends
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::LocalFree(h); }
};
struct UpdateResourceTraits {  // BeginUpdateResourceW; closing without commit discards
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::EndUpdateResourceW(h, TRUE); }
};

struct GdiObjectTraits {  // fonts, brushes, bitmaps
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};

struct ScreenDcTraits {  // GetDC(nullptr): the whole screen's device context
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::ReleaseDC(nullptr, h); }
};
struct MemoryDcTraits {  // CreateCompatibleDC
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};

using ScopedHandle = UniqueResource<HandleTraits>;
using ScopedFileHandle = UniqueResource<FileHandleTraits>;
using ScopedFindHandle = UniqueResource<FindHandleTraits>;
using ScopedRegKey = UniqueResource<RegKeyTraits>;
using ScopedModule = UniqueResource<ModuleTraits>;
using ScopedLocalMemory = UniqueResource<LocalMemoryTraits>;
using ScopedResourceUpdate = UniqueResource<UpdateResourceTraits>;
using ScopedGdiObject = UniqueResource<GdiObjectTraits>;
using ScopedScreenDc = UniqueResource<ScreenDcTraits>;
using ScopedMemoryDc = UniqueResource<MemoryDcTraits>;

}  // namespace zelko
