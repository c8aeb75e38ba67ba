#include "launch_job.h"

#include <cstring>

namespace launcher {
namespace {

// DLLs that Windows loads on the shell's behalf must come from the system
// directory, never from the folder the launcher was started from.
void RestrictDllSearchToSystemDirectory(const SystemCalls& system) {
  if (system.SetDefaultDllDirectories != nullptr) {
    system.SetDefaultDllDirectories(kLoadLibrarySearchSystem32);
  } else if (system.SetDllDirectoryA != nullptr) {
    system.SetDllDirectoryA("");  // takes the current folder out of the search
  }
}

void WriteMarker(const SystemCalls& system, std::string_view device_model) {
  if (device_model.size() > kMaxDeviceModelLength) {
    return;
  }

  // Zeroed, and its text used only when the call says it fits: after a
  // failure the buffer could hold anything, and an empty directory would put
  // the marker into the current folder.
  char temp_dir[kTempPathBufferLength] = {};
  const Dword temp_dir_length = system.GetTempPathA(kTempPathBufferLength, temp_dir);
  if (temp_dir_length == 0 || temp_dir_length >= kTempPathBufferLength) {
    return;
  }

  char marker_path[kTempPathBufferLength + sizeof kMarkerFileName];
  std::memcpy(marker_path, temp_dir, temp_dir_length);
  std::memcpy(marker_path + temp_dir_length, kMarkerFileName, sizeof kMarkerFileName);

  const Handle marker = system.CreateFileA(marker_path, kGenericReadWrite, kShareNone, nullptr,
                                           kCreateAlways, kFileAttributeNormal, nullptr);
  if (reinterpret_cast<std::uintptr_t>(marker) == kInvalidHandleValue) {
    return;
  }

  char line[kMaxDeviceModelLength + 2];
  std::memcpy(line, device_model.data(), device_model.size());
  line[device_model.size()] = '\r';
  line[device_model.size() + 1] = '\n';
  Dword bytes_written = 0;
  system.WriteFile(marker, line, static_cast<Dword>(device_model.size() + 2), &bytes_written,
                   nullptr);
  system.CloseHandle(marker);
}

}  // namespace

int RunLaunchJob(const SystemCalls& system, std::string_view device_model) {
  RestrictDllSearchToSystemDirectory(system);
  WriteMarker(system, device_model);
  system.ShellExecuteA(nullptr, "open", kSetupProgram, "", nullptr, kShowWindow);
  return 0;
}

}  // namespace launcher
