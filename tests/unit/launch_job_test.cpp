// The job against a recording stand-in for Windows: every call is written
// down with its arguments, in order, and any call can be made to fail.
#include "launch_job.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace launcher {
namespace {

// How the stand-in behaves; the defaults are a healthy system.
struct FakeWindows {
  bool has_set_default_dll_directories = true;
  bool has_set_dll_directory = true;
  // GetTempPathA: with no reported_length, it behaves as Windows does: the
  // path and its NUL when they fit, otherwise the length needed and the
  // buffer untouched. With one, it fills the whole buffer with `scribble`
  // and returns that length, as a failing or misbehaving call might.
  std::string temp_path = "C:\\Users\\pat\\AppData\\Local\\Temp\\";
  std::optional<Dword> reported_length;
  char scribble = 'X';
  bool create_fails = false;
  int write_result = 1;
  int close_result = 1;
  std::intptr_t shell_result = 42;  // above 32: started

  std::vector<std::string> calls;
};

FakeWindows* fake = nullptr;
const Handle kMarkerHandle = reinterpret_cast<Handle>(std::uintptr_t{0x1234});

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  return std::string("\"") + text + "\"";
}

// Shows every byte, so that a stray NUL or a missing CR cannot hide.
std::string Bytes(const void* data, Dword length) {
  std::string shown = "\"";
  for (Dword i = 0; i < length; ++i) {
    const unsigned char byte = static_cast<const unsigned char*>(data)[i];
    if (byte == '\r') shown += "\\r";
    else if (byte == '\n') shown += "\\n";
    else if (byte >= 0x20 && byte < 0x7F) shown += static_cast<char>(byte);
    else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
  }
  return shown + "\"";
}

std::string Hex(std::uintmax_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%jX", value);
  return text;
}

std::string Pointer(const void* pointer) {
  if (pointer == nullptr) return "null";
  if (pointer == kMarkerHandle) return "marker";
  return "pointer";
}

const SystemCalls kRecordingCalls = {
    [](Dword directory_flags) -> int {
      fake->calls.push_back("SetDefaultDllDirectories(" + Hex(directory_flags) + ")");
      return 1;
    },
    [](const char* path_name) -> int {
      fake->calls.push_back("SetDllDirectoryA(" + Quoted(path_name) + ")");
      return 1;
    },
    [](Dword buffer_length, char* buffer) -> Dword {
      fake->calls.push_back("GetTempPathA(" + std::to_string(buffer_length) + ")");
      if (fake->reported_length) {
        std::memset(buffer, fake->scribble, buffer_length);
        return *fake->reported_length;
      }
      const Dword needed = static_cast<Dword>(fake->temp_path.size() + 1);
      if (needed > buffer_length) return needed;
      std::memcpy(buffer, fake->temp_path.c_str(), needed);
      return needed - 1;
    },
    [](const char* file_name, Dword desired_access, Dword share_mode, void* security_attributes,
       Dword creation_disposition, Dword flags_and_attributes, Handle template_file) -> Handle {
      fake->calls.push_back("CreateFileA(" + Quoted(file_name) + ", " + Hex(desired_access) +
                            ", " + Hex(share_mode) + ", " + Pointer(security_attributes) +
                            ", " + std::to_string(creation_disposition) + ", " +
                            Hex(flags_and_attributes) + ", " + Pointer(template_file) + ")");
      return fake->create_fails ? reinterpret_cast<Handle>(kInvalidHandleValue) : kMarkerHandle;
    },
    [](Handle file, const void* buffer, Dword bytes_to_write, Dword* bytes_written,
       void* overlapped) -> int {
      fake->calls.push_back("WriteFile(" + Pointer(file) + ", " + Bytes(buffer, bytes_to_write) +
                            ", " + std::to_string(bytes_to_write) + ", " +
                            Pointer(bytes_written) + ", " + Pointer(overlapped) + ")");
      if (fake->write_result != 0) *bytes_written = bytes_to_write;
      return fake->write_result;
    },
    [](Handle object) -> int {
      fake->calls.push_back("CloseHandle(" + Pointer(object) + ")");
      return fake->close_result;
    },
    [](void* owner_window, const char* operation, const char* file, const char* parameters,
       const char* directory, int show_command) -> std::intptr_t {
      fake->calls.push_back("ShellExecuteA(" + Pointer(owner_window) + ", " + Quoted(operation) +
                            ", " + Quoted(file) + ", " + Quoted(parameters) + ", " +
                            Quoted(directory) + ", " + std::to_string(show_command) + ")");
      return fake->shell_result;
    },
};

// Runs the job against `windows`; returns the exit status.
int RunAgainst(FakeWindows& windows, std::string_view model) {
  fake = &windows;
  SystemCalls calls = kRecordingCalls;
  if (!windows.has_set_default_dll_directories) calls.SetDefaultDllDirectories = nullptr;
  if (!windows.has_set_dll_directory) calls.SetDllDirectoryA = nullptr;
  const int status = RunLaunchJob(calls, model);
  fake = nullptr;
  return status;
}

const std::string kRestrictDlls = "SetDefaultDllDirectories(0x800)";
const std::string kGetTempPath = "GetTempPathA(256)";
const std::string kStartSetup = R"(ShellExecuteA(null, "open", "LinePack_Install.exe", "", null, 5))";

std::string CreateMarker(const std::string& path) {
  return "CreateFileA(\"" + path + "\", 0xC0000000, 0x0, null, 2, 0x80, null)";
}

std::string WriteLine(const std::string& shown_bytes, int length) {
  return "WriteFile(marker, \"" + shown_bytes + "\", " + std::to_string(length) +
         ", pointer, null)";
}

const std::string kDefaultMarkerPath = "C:\\Users\\pat\\AppData\\Local\\Temp\\ActiveDevice.txt";

TEST(LaunchJob, EachModelWritesItsLineThenStartsTheSetupProgram) {
  struct Model {
    std::string_view text;
    std::string shown_line;
    int line_length;
  };
  for (const Model& model : {Model{"KPL-553", "KPL-553\\r\\n", 9}, Model{"HM-682", "HM-682\\r\\n", 8}}) {
    SCOPED_TRACE(std::string(model.text));
    FakeWindows windows;
    EXPECT_EQ(RunAgainst(windows, model.text), 0);
    EXPECT_EQ(windows.calls, (std::vector<std::string>{
                                 kRestrictDlls, kGetTempPath, CreateMarker(kDefaultMarkerPath),
                                 WriteLine(model.shown_line, model.line_length),
                                 "CloseHandle(marker)", kStartSetup}));
  }
}

// A case changes the healthy stand-in and names the calls it expects then.
struct Case {
  const char* name;
  std::function<void(FakeWindows&)> arrange;
  std::vector<std::string> expected_calls;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class LaunchJobWhenSomethingFails : public testing::TestWithParam<Case> {};

TEST_P(LaunchJobWhenSomethingFails, StillStartsTheSetupProgramAndReturnsZero) {
  FakeWindows windows;
  GetParam().arrange(windows);
  EXPECT_EQ(RunAgainst(windows, "KPL-553"), 0);
  EXPECT_EQ(windows.calls, GetParam().expected_calls);
}

const std::string kPath255 = "C:\\" + std::string(251, 'd') + "\\";  // 255 bytes + NUL fill the buffer
const std::string kPath256 = "C:\\" + std::string(252, 'd') + "\\";

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchJobWhenSomethingFails,
    testing::Values(
        Case{"TempPathFails", [](FakeWindows& w) { w.reported_length = 0; },
             {kRestrictDlls, kGetTempPath, kStartSetup}},
        Case{"TempPathFailsAndLeavesAnEmptyString",
             [](FakeWindows& w) { w.reported_length = 0; w.scribble = '\0'; },
             {kRestrictDlls, kGetTempPath, kStartSetup}},
        Case{"TempPathOneByteTooLong", [](FakeWindows& w) { w.temp_path = kPath256; },
             {kRestrictDlls, kGetTempPath, kStartSetup}},
        Case{"TempPathFarTooLong", [](FakeWindows& w) { w.temp_path = "C:\\" + std::string(600, 'd') + "\\"; },
             {kRestrictDlls, kGetTempPath, kStartSetup}},
        Case{"TempPathClaimsTheWholeBufferWithoutNul",
             [](FakeWindows& w) { w.reported_length = 256; },
             {kRestrictDlls, kGetTempPath, kStartSetup}},
        Case{"MarkerCannotBeCreated", [](FakeWindows& w) { w.create_fails = true; },
             {kRestrictDlls, kGetTempPath, CreateMarker(kDefaultMarkerPath), kStartSetup}},
        Case{"WriteFails", [](FakeWindows& w) { w.write_result = 0; },
             {kRestrictDlls, kGetTempPath, CreateMarker(kDefaultMarkerPath),
              WriteLine("KPL-553\\r\\n", 9), "CloseHandle(marker)", kStartSetup}},
        Case{"CloseFails", [](FakeWindows& w) { w.close_result = 0; },
             {kRestrictDlls, kGetTempPath, CreateMarker(kDefaultMarkerPath),
              WriteLine("KPL-553\\r\\n", 9), "CloseHandle(marker)", kStartSetup}},
        Case{"SetupProgramNotFound", [](FakeWindows& w) { w.shell_result = 2; },
             {kRestrictDlls, kGetTempPath, CreateMarker(kDefaultMarkerPath),
              WriteLine("KPL-553\\r\\n", 9), "CloseHandle(marker)", kStartSetup}},
        Case{"TempPathFillsTheBufferExactly", [](FakeWindows& w) { w.temp_path = kPath255; },
             {kRestrictDlls, kGetTempPath, CreateMarker(kPath255 + "ActiveDevice.txt"),
              WriteLine("KPL-553\\r\\n", 9), "CloseHandle(marker)", kStartSetup}},
        Case{"NoSetDefaultDllDirectories",
             [](FakeWindows& w) { w.has_set_default_dll_directories = false; },
             {"SetDllDirectoryA(\"\")", kGetTempPath, CreateMarker(kDefaultMarkerPath),
              WriteLine("KPL-553\\r\\n", 9), "CloseHandle(marker)", kStartSetup}},
        Case{"NoDllSearchControlAtAll",
             [](FakeWindows& w) {
               w.has_set_default_dll_directories = false;
               w.has_set_dll_directory = false;
             },
             {kGetTempPath, CreateMarker(kDefaultMarkerPath), WriteLine("KPL-553\\r\\n", 9),
              "CloseHandle(marker)", kStartSetup}}),
    [](const testing::TestParamInfo<Case>& case_info) { return std::string(case_info.param.name); });

TEST(LaunchJob, ModelLengthIsBoundedByTheLineBuffer) {
  const std::string longest(kMaxDeviceModelLength, 'M');
  FakeWindows fits;
  EXPECT_EQ(RunAgainst(fits, longest), 0);
  EXPECT_EQ(fits.calls.at(3), WriteLine(longest + "\\r\\n", kMaxDeviceModelLength + 2));

  // Too long for the line: no marker rather than a cut-off model.
  FakeWindows too_long;
  EXPECT_EQ(RunAgainst(too_long, longest + "M"), 0);
  EXPECT_EQ(too_long.calls, (std::vector<std::string>{kRestrictDlls, kStartSetup}));
}

}  // namespace
}  // namespace launcher
