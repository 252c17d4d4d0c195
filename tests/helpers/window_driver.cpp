// Test helper: drives another process's windows as a user would, without ever blocking on
// them (presses are posted, texts read with a timeout).
//
//   window_driver find [--title TEXT] [--class NAME] [--owner HWND] [--timeout MS]
//       waits for a visible top-level window and prints its handle (title or owner needed)
//   window_driver texts --window HWND      prints "title<TAB>text", then "<id><TAB>text"
//                                          per child, in UTF-8
//   window_driver styles --window HWND     prints "window<TAB>style exstyle", then
//                                          "<id><TAB>style exstyle" per child, in hexadecimal
//   window_driver state --window HWND      prints "exists visible" as two 0/1 values
//   window_driver wait-hidden --window HWND [--timeout MS]   waits until gone or hidden
//   window_driver press --window HWND --id N   clicks control N (posts its notification)
//   window_driver key --window HWND --vk N     posts a key press to the focused control
//   window_driver close --window HWND          clicks the close box
//   window_driver capture --window HWND --out FILE.bmp
//   window_driver select-folder --window HWND --path PATH [--name NAME]
//       moves the selection of a shell folder browser to PATH, as a user's clicks would,
//       prints the selected item's name, and fails when it is not NAME (by default PATH's
//       last name; a virtual folder such as "::{CLSID}" shows a name of its own)
//
// Handles are printed and read as hexadecimal. Exit code 0 on success, 1 when the window
// is not found or gone, 2 on bad usage.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <string>

#include "win/scoped_handle.h"

namespace {

std::map<std::wstring, std::wstring> options;

const wchar_t* Option(const wchar_t* name, const wchar_t* fallback = nullptr) {
  auto it = options.find(name);
  return it != options.end() ? it->second.c_str() : fallback;
}

HWND WindowOption() {
  const wchar_t* text = Option(L"--window");
  return text ? reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(text, nullptr, 16)))
              : nullptr;
}

DWORD TimeoutOption() { return static_cast<DWORD>(_wtoi(Option(L"--timeout", L"30000"))); }

void PrintUtf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                        size, nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return L"";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

struct Search {
  const wchar_t* title;
  const wchar_t* className;
  HWND owner;
  bool anyOwner;
  HWND found;
};

HWND FindOnce(Search& search) {
  search.found = nullptr;
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (!::IsWindowVisible(window)) return TRUE;
        if (s.title && TextOf(window) != s.title) return TRUE;
        wchar_t className[256];
        ::GetClassNameW(window, className, 256);
        if (s.className && wcscmp(className, s.className) != 0) return TRUE;
        if (!s.anyOwner && ::GetWindow(window, GW_OWNER) != s.owner) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int Find() {
  const wchar_t* title = Option(L"--title");
  const wchar_t* owner = Option(L"--owner");
  if (!title && !owner) return 2;
  Search search{title, Option(L"--class"),
                owner ? reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(owner, nullptr, 16)))
                      : nullptr,
                owner == nullptr, nullptr};
  const ULONGLONG deadline = ::GetTickCount64() + TimeoutOption();
  while (!FindOnce(search)) {
    if (::GetTickCount64() > deadline) return 1;
    ::Sleep(50);
  }
  printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(search.found)));
  return 0;
}

int Texts(HWND window) {
  if (!::IsWindow(window)) return 1;
  PrintUtf8(L"title\t" + TextOf(window) + L"\n");
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    PrintUtf8(std::to_wstring(::GetDlgCtrlID(child)) + L"\t" + TextOf(child) + L"\n");
  }
  return 0;
}

int Styles(HWND window) {
  if (!::IsWindow(window)) return 1;
  auto print = [](const std::string& name, HWND w) {
    printf("%s\t%lx %lx\n", name.c_str(), static_cast<unsigned long>(::GetWindowLongW(w, GWL_STYLE)),
           static_cast<unsigned long>(::GetWindowLongW(w, GWL_EXSTYLE)));
  };
  print("window", window);
  for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    print(std::to_string(::GetDlgCtrlID(child)), child);
  }
  return 0;
}

int WaitHidden(HWND window) {
  const ULONGLONG deadline = ::GetTickCount64() + TimeoutOption();
  while (::IsWindow(window) && ::IsWindowVisible(window)) {
    if (::GetTickCount64() > deadline) return 1;
    ::Sleep(50);
  }
  return 0;
}

int Press(HWND window) {
  const int id = _wtoi(Option(L"--id", L"0"));
  HWND control = ::GetDlgItem(window, id);
  if (!control) return 1;
  return ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
             ? 0
             : 1;
}

int Key(HWND window) {
  const WPARAM vk = static_cast<WPARAM>(_wtoi(Option(L"--vk", L"0")));
  GUITHREADINFO info{sizeof(info)};
  const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
  HWND target = window;
  if (::GetGUIThreadInfo(thread, &info) && info.hwndFocus) target = info.hwndFocus;
  // The dialog's own message loop turns the key into the command, as for a real key press.
  const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
  ::PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
  ::PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
  return 0;
}

int Capture(HWND window) {
  const wchar_t* path = Option(L"--out");
  if (!path) return 2;
  RECT rect;
  if (!::GetWindowRect(window, &rect)) return 1;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const zelko::ScopedScreenDc screen(::GetDC(nullptr));
  const zelko::ScopedMemoryDc memory(::CreateCompatibleDC(screen.get()));
  if (!screen || !memory) return 1;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB};
  void* bits = nullptr;
  const zelko::ScopedGdiObject bitmap(
      ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) return 1;
  // The bitmap leaves the memory DC before either is deleted.
  struct Selection {
    HDC dc;
    HGDIOBJ old;
    ~Selection() { ::SelectObject(dc, old); }
  } const selection{memory.get(), ::SelectObject(memory.get(), bitmap.get())};
  // From the screen: a window of another process cannot be asked to paint into our DC.
  ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
  ::GdiFlush();
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * height;
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) +
                                                   sizeof(BITMAPINFOHEADER) + imageSize),
                        0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  const std::unique_ptr<FILE, int (*)(FILE*)> out(_wfopen(path, L"wb"), &fclose);
  if (!out) return 1;
  const bool written = fwrite(&file, sizeof(file), 1, out.get()) == 1 &&
                       fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out.get()) == 1 &&
                       fwrite(bits, 1, imageSize, out.get()) == imageSize;
  return written ? 0 : 1;
}

// Memory in another process, for messages that carry pointers: the browser and its tree read
// and write through them in their own address space.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, SIZE_T bytes)
      : process_(process),
        address_(::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  char* get() const { return static_cast<char*>(address_); }
  bool Write(SIZE_T offset, const void* data, SIZE_T bytes) const {
    return address_ && ::WriteProcessMemory(process_, get() + offset, data, bytes, nullptr);
  }
  bool Read(SIZE_T offset, void* data, SIZE_T bytes) const {
    return address_ && ::ReadProcessMemory(process_, get() + offset, data, bytes, nullptr);
  }

 private:
  HANDLE process_;
  void* address_;
};

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     DWORD_PTR* result) {
  return ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 10000, result);
}

// The text of the tree's selected item, read through a TVITEMW placed in the tree's process.
std::wstring SelectedTreeText(HANDLE process, HWND browser) {
  HWND tree = ::FindWindowExW(browser, nullptr, L"SysTreeView32", nullptr);
  DWORD_PTR item = 0;
  if (!tree || !SendWithTimeout(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, &item) || !item) return L"";
  wchar_t text[MAX_PATH] = {};
  RemoteBuffer remote(process, sizeof(TVITEMW) + sizeof(text));
  TVITEMW query{};
  query.mask = TVIF_TEXT;
  query.hItem = reinterpret_cast<HTREEITEM>(item);
  query.pszText = reinterpret_cast<wchar_t*>(remote.get() + sizeof(TVITEMW));
  query.cchTextMax = MAX_PATH;
  DWORD_PTR ignored = 0;
  if (!remote.Write(0, &query, sizeof(query)) ||
      !SendWithTimeout(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.get()), &ignored) ||
      !remote.Read(sizeof(TVITEMW), text, sizeof(text) - sizeof(wchar_t))) {
    return L"";
  }
  return text;
}

// Selects `--path` in a folder browser and checks that the tree followed: a path the browser
// cannot find leaves the old selection, and an OK then would pick that folder instead. Wine's
// browser now and then misses a selection while it fills the tree, so it is asked again.
int SelectFolder(HWND browser) {
  const wchar_t* path = Option(L"--path");
  if (!path) return 2;
  const wchar_t* lastName = wcsrchr(path, L'\\');
  lastName = Option(L"--name", lastName ? lastName + 1 : path);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(browser, &processId);
  zelko::ScopedHandle process(::OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
  if (!process) return 1;
  const SIZE_T bytes = (wcslen(path) + 1) * sizeof(wchar_t);
  RemoteBuffer remotePath(process.get(), bytes);
  if (!remotePath.Write(0, path, bytes)) return 1;
  const ULONGLONG deadline = ::GetTickCount64() + TimeoutOption();
  std::wstring selected;
  do {
    DWORD_PTR ignored = 0;
    if (!SendWithTimeout(browser, BFFM_SETSELECTIONW, TRUE,
                         reinterpret_cast<LPARAM>(remotePath.get()), &ignored)) {
      return 1;
    }
    ::Sleep(100);
    selected = SelectedTreeText(process.get(), browser);
    if (_wcsicmp(selected.c_str(), lastName) == 0) break;
  } while (::GetTickCount64() < deadline);
  PrintUtf8(selected + L"\n");
  return _wcsicmp(selected.c_str(), lastName) == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  const std::wstring command = argv[1];
  if (command == L"find") return Find();
  HWND window = WindowOption();
  if (command == L"texts") return Texts(window);
  if (command == L"styles") return Styles(window);
  if (command == L"state") {
    printf("%d %d\n", ::IsWindow(window) ? 1 : 0, ::IsWindowVisible(window) ? 1 : 0);
    return 0;
  }
  if (command == L"wait-hidden") return WaitHidden(window);
  if (!::IsWindow(window)) return 1;
  if (command == L"press") return Press(window);
  if (command == L"key") return Key(window);
  if (command == L"close") return ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  if (command == L"capture") return Capture(window);
  if (command == L"select-folder") return SelectFolder(window);
  return 2;
}
