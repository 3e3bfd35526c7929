// Test helper: a program that imports winhttp.dll statically, as nimbard.exe
// once did, so a scenario can show which winhttp.dll the loader takes for
// such a program (System32's, or one planted beside it). Prints
// platform=1|0 (WinHttpCheckPlatform's answer) and exits 0.
#include <windows.h>
#include <winhttp.h>

#include <stdio.h>

int main() {
  printf("platform=%d\n", WinHttpCheckPlatform() ? 1 : 0);
  return 0;
}
