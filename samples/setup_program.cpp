// A stand-in for the device utility's setup program, for demonstrations: it
// reads the marker the launcher left in the temporary directory and says which
// model it would install for, on its console and in LinePack_Install.log in
// its current folder (started through the shell, it may have no console to
// show). It is never shipped.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void Say(const char* message) {
  std::puts(message);
  if (std::FILE* log = std::fopen("LinePack_Install.log", "w")) {
    std::fputs(message, log);
    std::fputc('\n', log);
    std::fclose(log);
  }
}

}  // namespace

int main() {
  char message[512] = {};
  char marker_path[MAX_PATH + sizeof "ActiveDevice.txt"] = {};
  const DWORD length = GetTempPathA(MAX_PATH, marker_path);
  if (length == 0 || length >= MAX_PATH) {
    Say("LinePack_Install (sample): no temporary directory, so no marker to read.");
    return 1;
  }
  std::strcat(marker_path, "ActiveDevice.txt");

  std::FILE* marker = std::fopen(marker_path, "rb");
  if (marker == nullptr) {
    std::snprintf(message, sizeof message, "LinePack_Install (sample): found no marker at %s.",
                  marker_path);
    Say(message);
    return 1;
  }
  char line[128] = {};
  std::fgets(line, sizeof line, marker);
  std::fclose(marker);
  line[std::strcspn(line, "\r\n")] = '\0';
  const bool has_model = line[0] != '\0';
  if (!has_model) {
    std::snprintf(message, sizeof message, "LinePack_Install (sample): the marker at %s is empty.",
                  marker_path);
  } else {
    std::snprintf(message, sizeof message,
                  "LinePack_Install (sample): installing the device utility for model %s"
                  " (read from %s).",
                  line, marker_path);
  }
  Say(message);
  return has_model ? 0 : 1;
}
