// Test helper: holds a file open the way other programs do (an editor, a
// backup tool), sharing read and write but not delete, so that it cannot be
// replaced while held.
//
//   hold_file PATH SECONDS    opens PATH (which must exist), prints "held",
//                             waits, prints the content it then reads
//                             through its own handle, and exits 0
//
// Exit 1 when the file cannot be opened.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 1;
  HANDLE file = ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  ::Sleep(static_cast<DWORD>(wcstol(argv[2], nullptr, 10)) * 1000);
  char buffer[4096];
  DWORD read = 0;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (::ReadFile(file, buffer, sizeof buffer, &read, nullptr)) fwrite(buffer, 1, read, stdout);
  printf("\n");
  ::CloseHandle(file);
  return 0;
}
