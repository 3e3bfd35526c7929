// Entry of nimbard.exe: picks one mode from the command line.
#include <windows.h>

#include "app/app_entry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  try {
    return nimbard::RunApplication(instance, commandLine);
  } catch (...) {
    // Nothing may escape into the C runtime's start-up code.
    return 0;
  }
}
