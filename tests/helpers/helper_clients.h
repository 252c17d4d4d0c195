// Test-side handles on the two helper programs: the pipe server standing in for the
// updater service, and the window driver standing in for a user.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "win/scoped_handle.h"

namespace zelko::test {

// Serves the given pipe paths in a background process until destroyed.
class PipeServer {
 public:
  // Fails the current test when the server does not come up within the timeout.
  explicit PipeServer(const std::vector<std::wstring>& pipePaths);
  ~PipeServer();
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Every connection recorded so far: "<pipe index> <hex bytes or -> <level or ->".
  std::vector<std::string> Records() const;
  // Waits until at least `count` connections are recorded (generous timeout); false if not.
  bool WaitForRecords(size_t count) const;
  // Sends a marker over each pipe and waits until all are recorded: each pipe's
  // connections are recorded in the order they came, so every connection made before is
  // recorded too. Returns the records without the markers.
  std::vector<std::string> Flush();

 private:
  void Start(const std::vector<std::wstring>& pipePaths);

  TempFolder folder_;
  std::vector<std::wstring> paths_;
  std::wstring record_;
  std::wstring stopName_;
  ScopedHandle stop_;
  ScopedHandle process_;
};

// Runs window_driver.exe commands (see that program for what each does).
class WindowDriver {
 public:
  // A visible top-level window with `title` (and `className`, owner when given), or null.
  HWND Find(const std::wstring& title, const wchar_t* className = nullptr,
            HWND owner = nullptr) const;
  // The window's title under the key "title", and the text of each child under its id.
  std::map<std::string, std::string> Texts(HWND window) const;
  // The window's style and extended style under the key "window", and each child's under
  // its id.
  struct Styles {
    DWORD style = 0;
    DWORD exStyle = 0;
  };
  std::map<std::string, Styles> WindowStyles(HWND window) const;
  // A visible window of `className` owned by `owner`, whatever its title, or null.
  HWND FindOwned(HWND owner, const wchar_t* className) const;
  bool Press(HWND window, int id) const;
  bool Key(HWND window, int virtualKey) const;
  bool Close(HWND window) const;
  // Waits until the window is hidden or gone.
  bool WaitHidden(HWND window) const;
  bool Capture(HWND window, const std::wstring& bmpPath) const;
  // Moves a shell folder browser's selection to `path`, whose item the browser shows as
  // `shownName` (by default the path's last name).
  bool SelectFolder(HWND browser, const std::wstring& path,
                    const std::wstring& shownName = L"") const;

 private:
  bool Run(const std::wstring& arguments, std::string* output = nullptr) const;
  HWND FindWith(const std::wstring& arguments) const;
};

// Polls `condition` every 10 ms for up to 30 seconds.
template <typename Condition>
bool WaitUntil(Condition condition) {
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (!condition()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

std::wstring HandleText(HWND window);

// build\test-artifacts\, created when missing.
std::wstring ArtifactFolder();

}  // namespace zelko::test
