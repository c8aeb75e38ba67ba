// Stands in for the setup program in the end-to-end tests. At its start it
// records how it was started and the marker as it found it, in
// setup_record.txt in its current folder:
//   argument_count, command_line, startup_flags, show_window,
//   current_directory, marker_path, marker_opened (yes/no), marker_hex
// If linger_seconds.txt in its current folder holds a number, it then waits
// that many seconds before it writes setup_done.txt, so that a test can see
// whether the launcher waited for it.
#include <windows.h>

#include <cstdio>

namespace {

void RecordMarker(std::FILE* record) {
  char path[MAX_PATH + sizeof "ActiveDevice.txt"] = {};
  const DWORD length = GetTempPathA(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) {
    std::fputs("marker_path=\nmarker_opened=no\nmarker_hex=\n", record);
    return;
  }
  lstrcatA(path, "ActiveDevice.txt");
  std::fprintf(record, "marker_path=%s\n", path);
  const HANDLE marker = CreateFileA(path, GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) {
    std::fputs("marker_opened=no\nmarker_hex=\n", record);
    return;
  }
  unsigned char bytes[512];
  DWORD read = 0;
  ReadFile(marker, bytes, sizeof bytes, &read, nullptr);
  CloseHandle(marker);
  std::fputs("marker_opened=yes\nmarker_hex=", record);
  for (DWORD i = 0; i < read; ++i) std::fprintf(record, "%02x", bytes[i]);
  std::fputc('\n', record);
}

int LingerSeconds() {
  std::FILE* file = std::fopen("linger_seconds.txt", "r");
  if (file == nullptr) return 0;
  int seconds = 0;
  if (std::fscanf(file, "%d", &seconds) != 1) seconds = 0;
  std::fclose(file);
  return seconds;
}

}  // namespace

int main(int argc, char**) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  char current_directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current_directory);

  // Written aside and renamed, so a reader never sees half a record.
  std::FILE* record = std::fopen("setup_record.partial", "w");
  if (record == nullptr) return 1;
  std::fprintf(record, "argument_count=%d\n", argc);
  std::fprintf(record, "command_line=%s\n", GetCommandLineA());
  std::fprintf(record, "startup_flags=0x%lx\n", startup.dwFlags);
  std::fprintf(record, "show_window=%u\n", static_cast<unsigned>(startup.wShowWindow));
  std::fprintf(record, "current_directory=%s\n", current_directory);
  RecordMarker(record);
  std::fclose(record);
  MoveFileExA("setup_record.partial", "setup_record.txt", MOVEFILE_REPLACE_EXISTING);

  const int linger = LingerSeconds();
  if (linger > 0) {
    Sleep(static_cast<DWORD>(linger) * 1000);
    if (std::FILE* done = std::fopen("setup_done.txt", "w")) std::fclose(done);
  }
  return 0;
}
