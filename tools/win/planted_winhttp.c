// Test helper: a stand-in winhttp.dll that a scenario plants beside an exe.
// Whenever a process loads it, it appends that process's exe path to
// "planted-winhttp-ran.txt" beside itself (the proof that the loader took
// it) and does nothing else. Its one export, which always fails, exists so
// that a program importing it statically can start at all.
#include <windows.h>

static void NoteTheLoad(HINSTANCE self) {
  wchar_t marker[MAX_PATH + 32];
  const DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* slash = marker + length;
  while (slash > marker && slash[-1] != L'\\') --slash;
  lstrcpyW(slash, L"planted-winhttp-ran.txt");
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[MAX_PATH * 3 + 2];
  wchar_t exe[MAX_PATH];
  const DWORD exeLength = GetModuleFileNameW(NULL, exe, MAX_PATH);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, exe, (int)exeLength, line, MAX_PATH * 3, NULL, NULL);
  if (bytes < 0) bytes = 0;
  line[bytes++] = '\n';
  DWORD written = 0;
  WriteFile(file, line, (DWORD)bytes, &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) NoteTheLoad(instance);
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI WinHttpCheckPlatform(void) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
