// A Win32 program that does nothing but wait: the baseline for measuring
// what a resident process costs under Wine. Waits the given number of
// seconds (default 60), then exits 0.
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? strtol(argv[1], nullptr, 10) : 60;
  ::Sleep(seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 0);
  return 0;
}
