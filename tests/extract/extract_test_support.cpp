#include "tests/extract/extract_test_support.h"

#include "app/sfx_app.h"
#include "app/sfx_config.h"
#include "tests/support/temp_folder.h"
#include "win/temp_path.h"

namespace zelko::test {
namespace {

std::wstring LogPath() { return TempPath() + L"ZelkoSFX.log"; }

}  // namespace

std::wstring Fixture(const std::wstring& name) {
  return std::wstring(ZELKO_EXTRACT_FIXTURES) + L"\\" + name;
}

RecordingHost::RecordingHost() : AppDecodeHost(theApp) {}

void RecordingHost::ReportProgress(uint32_t amountKB) {
  amounts.push_back(amountKB);
  if (onProgress) onProgress(amounts.size(), amountKB);
}

LogCapture::LogCapture() : start_(ReadFileBytes(LogPath()).size()) {}

std::string LogCapture::Text() const {
  const std::string all = ReadFileBytes(LogPath());
  return all.size() > start_ ? all.substr(start_) : std::string();
}

void ResetRunState() {
  theApp.bFinished_ = FALSE;
  theApp.bPaused_ = FALSE;
  theApp.bCancelled_ = FALSE;
  theApp.bSilent_ = FALSE;
  theApp.bKiv_ = FALSE;
  theApp.error_ = SFXError(SfxConfig::GetValue);
}

std::wstring CurrentDirectory() {
  wchar_t buffer[1024];
  const DWORD length = ::GetCurrentDirectoryW(1024, buffer);
  return std::wstring(buffer, length);
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return names;
}

void BeginPause() {
  if (theApp.waitEvent_ != nullptr) ::ResetEvent(theApp.waitEvent_);
  theApp.bPaused_ = TRUE;
}

void EndPause() {
  theApp.bPaused_ = FALSE;
  if (theApp.waitEvent_ != nullptr) ::SetEvent(theApp.waitEvent_);
}

}  // namespace zelko::test
