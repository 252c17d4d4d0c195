// The program's entry point. It only hardens DLL loading and hands over to the application.
#include <windows.h>

#include "app/sfx_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* commandTail, int) {
  // Before anything can load a DLL: never from the program's own folder (often Downloads)
  // or the current directory, only from System32.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return zelko::theApp.Run(instance, commandTail);
}
