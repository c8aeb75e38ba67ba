// hold_file.exe FILE READY RELEASE
// Opens FILE (creating it if need be) with no sharing, creates READY, and
// keeps FILE open until RELEASE exists or a minute has passed. A sharing
// violation on Windows needs the holder to be a Windows process, hence this.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const HANDLE held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int waited_ms = 0; waited_ms < 60000; waited_ms += 50) {
    if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  CloseHandle(held);
  return 0;
}
