// Loads the DLL named on its command line with the plain search order, which starts in the
// program's own folder: the planting tests show with it that a planted DLL would be found.
// Exit code 0 when the DLL loaded, else the system error.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return ERROR_BAD_ARGUMENTS;
  return ::LoadLibraryW(argv[1]) != nullptr ? 0 : static_cast<int>(::GetLastError());
}
