#include "ui/pipe_progress.h"

#include <algorithm>

#include "win/format_text.h"

namespace zelko {
namespace {

constexpr wchar_t kFiller[] = L"mirkOlaPetVun";
constexpr size_t kFillBelow = 16;
constexpr size_t kMaxNameLength = 259;

std::optional<DWORD> SystemVolumeSerial() {
  DWORD serial = 0;
  if (!::GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
    return std::nullopt;
  }
  return serial;
}

void AppendFiller(std::wstring& text) {
  if (text.size() < kFillBelow) text += kFiller;
  if (text.size() > kMaxNameLength) text.resize(kMaxNameLength);
}

}  // namespace

std::wstring ProgressPipeNameFor(std::optional<DWORD> serial) {
  std::wstring text;
  if (serial) text = DecimalText(static_cast<int32_t>(*serial));
  AppendFiller(text);
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned unit = (text[i] + (i % 15) * (i ^ 2)) & 0xFFFF;
    if (unit >= 256) unit -= 256;
    if (unit == 0) {
      text.resize(i);
      break;
    }
    text[i] = static_cast<wchar_t>(unit);
  }
  return text;
}

std::wstring FallbackPipeNameFor(std::optional<DWORD> serial) {
  std::wstring text;
  if (serial) {
    text = DecimalText(*serial);
    std::reverse(text.begin(), text.end());
  }
  AppendFiller(text);
  return text;
}

std::wstring DeriveProgressPipeName() { return ProgressPipeNameFor(SystemVolumeSerial()); }

std::wstring DeriveFallbackPipeName() { return FallbackPipeNameFor(SystemVolumeSerial()); }

uint32_t PipePercentage(uint32_t doneKB, uint32_t totalKB) {
  // With no total there is nothing to measure against: the work counts as not begun rather
  // than done, so the updater never hears 100 while the extraction is still going on.
  if (totalKB == 0) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(doneKB) * 100 / totalKB);
}

HANDLE OpenProgressPipe(const std::wstring& path) {
  // Identification only: the updater's server end may learn who writes, but cannot
  // impersonate this process.
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

}  // namespace zelko
