// The launcher's whole job: leave the device model in ActiveDevice.txt in the
// temporary directory, then have the shell start the setup program.
#pragma once

#include <cstddef>
#include <string_view>

#include "system_calls.h"

namespace launcher {

// GetTempPathA is given a buffer of exactly this many bytes.
constexpr Dword kTempPathBufferLength = 256;
// Longest model the marker line has room for.
constexpr std::size_t kMaxDeviceModelLength = 64;

constexpr char kMarkerFileName[] = "ActiveDevice.txt";
constexpr char kSetupProgram[] = "LinePack_Install.exe";

// Runs the job once. Failures are not reported: a marker that cannot be
// written is skipped, the setup program is started regardless, and the
// result is always 0, the launcher's exit status.
int RunLaunchJob(const SystemCalls& system, std::string_view device_model);

}  // namespace launcher
