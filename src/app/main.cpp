// Entry of nimbard.exe: picks one mode from the command line.
#include <windows.h>

#include "app/app_entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  // DLLs that load from here on come from System32 only, never from the
  // exe's folder (a download folder, when "--install" runs from there) or
  // the current directory. mingw's ld cannot set the image's dependent-load
  // flag, so the loader resolves the static imports before this line, by
  // the usual search order: ADVAPI32, COMCTL32, GDI32, KERNEL32, msvcrt,
  // ole32, SHELL32, USER32 and WS2_32 (`objdump -p dist/nimbard.exe`), and
  // their own imports. All of them but COMCTL32 are known DLLs, which Windows
  // takes from System32 whatever the folder holds; COMCTL32 is resolved by
  // side-by-side activation from the manifest (Common Controls 6, from the
  // WinSxS store). WinHTTP, which is not a known DLL, is not imported: the
  // exchange loads it from System32 itself (net/winhttp_library.h).
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  try {
    return nimbard::RunApplication(instance, commandLine);
  } catch (...) {
    // Nothing may escape into the C runtime's start-up code.
    return 0;
  }
}
