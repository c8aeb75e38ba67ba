// The second baseline for the benchmark: only the launcher's shell request,
// without the marker, so that what the launcher's own work costs shows as
// the difference between the two.
#include <windows.h>
#include <shellapi.h>

int main() {
  ShellExecuteA(nullptr, "open", "LinePack_Install.exe", "", nullptr, SW_SHOW);
  return 0;
}
