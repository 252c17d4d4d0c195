#include "tests/helpers/helper_clients.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/process_runner.h"

namespace zelko::test {
namespace {

constexpr DWORD kWaitMs = 30000;

std::wstring TestProgram(const wchar_t* name) {
  // Test programs live beside the test binaries, the product in bin\.
  std::wstring folder = BuiltProgramFolder();  // <build>\bin\ .
  folder.resize(folder.size() - 4);
  return folder + L"tests\\" + name;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::wstring HandleText(HWND window) {
  wchar_t text[32];
  swprintf(text, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

std::wstring ArtifactFolder() {
  std::wstring folder = BuiltProgramFolder();
  folder.resize(folder.size() - 4);
  folder += L"test-artifacts";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

PipeServer::PipeServer(const std::vector<std::wstring>& pipePaths) { Start(pipePaths); }

void PipeServer::Start(const std::vector<std::wstring>& pipePaths) {
  paths_ = pipePaths;
  record_ = folder_ / L"record.txt";
  stopName_ = L"zelko-test-pipe-server-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(::GetTickCount64());
  stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, stopName_.c_str()));
  std::wstring command = QuoteArgument(TestProgram(L"pipe_server.exe"));
  for (const auto& path : pipePaths) command += L" --pipe " + QuoteArgument(path);
  command += L" --record " + QuoteArgument(record_) + L" --stop " + stopName_;
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
  process_.reset(info.hProcess);
  const ScopedHandle thread(info.hThread);  // not needed
  const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
  while (!FileExists(record_)) {
    ASSERT_NE(::WaitForSingleObject(process_.get(), 0), WAIT_OBJECT_0) << "pipe server ended";
    ASSERT_LT(::GetTickCount64(), deadline) << "pipe server did not come up";
    ::Sleep(20);
  }
}

PipeServer::~PipeServer() {
  if (stop_) ::SetEvent(stop_.get());
  if (process_ && ::WaitForSingleObject(process_.get(), kWaitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), 1);
  }
}

std::vector<std::string> PipeServer::Records() const { return Lines(ReadFileBytes(record_)); }

bool PipeServer::WaitForRecords(size_t count) const {
  const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
  while (Records().size() < count) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

std::vector<std::string> PipeServer::Flush() {
  static constexpr char kMarker[] = "\xFF" "flush";
  static constexpr char kMarkerHex[] = " ff666c757368 ";
  auto markers = [this] {
    size_t count = 0;
    for (const auto& record : Records()) count += record.find(kMarkerHex) != std::string::npos;
    return count;
  };
  const size_t before = markers();
  for (const auto& path : paths_) {
    ScopedFileHandle pipe(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    EXPECT_TRUE(pipe) << ::GetLastError();
    DWORD written = 0;
    ::WriteFile(pipe.get(), kMarker, sizeof(kMarker) - 1, &written, nullptr);
  }
  // The server records connections in the order they came, so once the markers are there,
  // so is everything sent before them (counting all records could stop short of those).
  const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
  while (markers() < before + paths_.size() && ::GetTickCount64() <= deadline) ::Sleep(10);
  EXPECT_EQ(markers(), before + paths_.size());
  std::vector<std::string> records;
  for (const auto& record : Records()) {
    if (record.find(kMarkerHex) == std::string::npos) records.push_back(record);
  }
  return records;
}

bool WindowDriver::Run(const std::wstring& arguments, std::string* output) const {
  const ProcessResult result =
      RunProcess(QuoteArgument(TestProgram(L"window_driver.exe")) + L" " + arguments);
  if (output != nullptr) *output = result.output;
  return result.started && result.exitCode == 0;
}

HWND WindowDriver::Find(const std::wstring& title, const wchar_t* className, HWND owner) const {
  std::wstring arguments = L"find --title " + QuoteArgument(title);
  if (className != nullptr) arguments += L" --class " + QuoteArgument(className);
  if (owner != nullptr) arguments += L" --owner " + HandleText(owner);
  return FindWith(arguments);
}

HWND WindowDriver::FindOwned(HWND owner, const wchar_t* className) const {
  return FindWith(L"find --owner " + HandleText(owner) + L" --class " + QuoteArgument(className));
}

HWND WindowDriver::FindWith(const std::wstring& arguments) const {
  std::string output;
  if (!Run(arguments, &output)) return nullptr;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(output.c_str(), nullptr, 16)));
}

std::map<std::string, std::string> WindowDriver::Texts(HWND window) const {
  std::map<std::string, std::string> texts;
  std::string output;
  if (!Run(L"texts --window " + HandleText(window), &output)) return texts;
  for (const auto& line : Lines(output)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) texts[line.substr(0, tab)] = line.substr(tab + 1);
    else texts[line] = "";
  }
  return texts;
}

std::map<std::string, WindowDriver::Styles> WindowDriver::WindowStyles(HWND window) const {
  std::map<std::string, Styles> styles;
  std::string output;
  if (!Run(L"styles --window " + HandleText(window), &output)) return styles;
  for (const auto& line : Lines(output)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    char* end = nullptr;
    Styles& entry = styles[line.substr(0, tab)];
    entry.style = static_cast<DWORD>(strtoul(line.c_str() + tab + 1, &end, 16));
    entry.exStyle = static_cast<DWORD>(strtoul(end, nullptr, 16));
  }
  return styles;
}

bool WindowDriver::Press(HWND window, int id) const {
  return Run(L"press --window " + HandleText(window) + L" --id " + std::to_wstring(id));
}

bool WindowDriver::Key(HWND window, int virtualKey) const {
  return Run(L"key --window " + HandleText(window) + L" --vk " + std::to_wstring(virtualKey));
}

bool WindowDriver::Close(HWND window) const { return Run(L"close --window " + HandleText(window)); }

bool WindowDriver::WaitHidden(HWND window) const {
  return Run(L"wait-hidden --window " + HandleText(window));
}

bool WindowDriver::SelectFolder(HWND browser, const std::wstring& path,
                                const std::wstring& shownName) const {
  std::wstring arguments =
      L"select-folder --window " + HandleText(browser) + L" --path " + QuoteArgument(path);
  if (!shownName.empty()) arguments += L" --name " + QuoteArgument(shownName);
  return Run(arguments);
}

bool WindowDriver::Capture(HWND window, const std::wstring& bmpPath) const {
  return Run(L"capture --window " + HandleText(window) + L" --out " + QuoteArgument(bmpPath));
}

}  // namespace zelko::test
