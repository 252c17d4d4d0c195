// The updater service's progress pipe: its names, derived from the volume serial of C:, and
// the client side of its wire format (one 4-byte percentage per connection).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zelko {

// Paths are the pipe prefix followed by the name; the fallback path has its own prefix.
constexpr wchar_t kProgressPipePrefix[] = L"\\\\.\\pipe\\";
constexpr wchar_t kFallbackPipePrefix[] =
    L"\\\\.\\pipe\\32B6B37A-4A7D-4e00-95F2-6F0BF3DE3E00";

// The names for a volume serial number, or for none when the serial cannot be read.
std::wstring ProgressPipeNameFor(std::optional<DWORD> serial);
std::wstring FallbackPipeNameFor(std::optional<DWORD> serial);

// The names on this machine.
std::wstring DeriveProgressPipeName();
std::wstring DeriveFallbackPipeName();

// Percentage (0..100) of `doneKB` of `totalKB`; a total of 0 (nothing measured) gives 0.
uint32_t PipePercentage(uint32_t doneKB, uint32_t totalKB);

// Opens the existing pipe at `path` for writing, as a client that lets the server identify
// it but not act as it.
HANDLE OpenProgressPipe(const std::wstring& path);

}  // namespace zelko
