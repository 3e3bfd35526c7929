// Entry of nimbard.exe: picks one mode from the command line.
#include <windows.h>

#include "app/app_entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  // DLLs load from System32 only, never from the exe's folder (a download
  // folder, when "--install" runs from there) or the current directory.
  // mingw's ld cannot set the image's dependent-load flag, so the loader
  // resolves the static imports before this line, by the usual search order:
  // ADVAPI32, GDI32, KERNEL32, msvcrt, ole32, SHELL32, USER32, WINHTTP, WS2_32
  // (`objdump -p dist/nimbard.exe`), and their own imports. All but WINHTTP
  // are known DLLs, which Windows takes from System32 whatever the folder
  // holds. What the C runtime's start-up and the static constructors load
  // comes before this line too; everything loaded later (the shell's and
  // COM's helpers, comctl32 for the dialogs) comes after it.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  try {
    return nimbard::RunApplication(instance, commandLine);
  } catch (...) {
    // Nothing may escape into the C runtime's start-up code.
    return 0;
  }
}
