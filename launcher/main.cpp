// Entry point of one deliverable. The build compiles this file once per
// model, with a device_model.h that defines DEVICE_MODEL as the model's text.
#include <string_view>

#include "device_model.h"
#include "launch_job.h"

namespace {

constexpr std::string_view DeviceModel = DEVICE_MODEL;
static_assert(!DeviceModel.empty() && DeviceModel.size() <= launcher::kMaxDeviceModelLength,
              "DEVICE_MODEL must be 1 to 64 characters");

}  // namespace

// The command line is accepted and ignored.
int main() { return launcher::RunLaunchJob(launcher::WindowsSystemCalls(), DeviceModel); }
