// The Windows calls the launcher makes, gathered in one table of function
// pointers. The product fills the table with the real API
// (windows_system_calls.cpp); host tests fill it with a recorder that can make
// any one call fail. Nothing here includes <windows.h>: the types and
// constants are the platform's, spelled portably, and the Windows file checks
// them against the real headers.
#pragma once

#include <cstdint>

namespace launcher {

using Dword = unsigned long;  // DWORD
using Handle = void*;         // HANDLE

constexpr std::uintptr_t kInvalidHandleValue = ~std::uintptr_t{0};  // INVALID_HANDLE_VALUE

constexpr Dword kGenericReadWrite = 0xC0000000;        // GENERIC_READ | GENERIC_WRITE
constexpr Dword kShareNone = 0;
constexpr Dword kCreateAlways = 2;                     // CREATE_ALWAYS
constexpr Dword kFileAttributeNormal = 0x80;           // FILE_ATTRIBUTE_NORMAL
constexpr int kShowWindow = 5;                         // SW_SHOW
// LOAD_LIBRARY_SEARCH_SYSTEM32; newer than the XP headers the product builds with.
constexpr Dword kLoadLibrarySearchSystem32 = 0x00000800;

struct SystemCalls {
  // Looked up at run time; null on systems that lack them (before Windows 8
  // without its update, and before XP SP1 respectively).
  int (*SetDefaultDllDirectories)(Dword directory_flags);
  int (*SetDllDirectoryA)(const char* path_name);

  Dword (*GetTempPathA)(Dword buffer_length, char* buffer);
  Handle (*CreateFileA)(const char* file_name, Dword desired_access, Dword share_mode,
                        void* security_attributes, Dword creation_disposition,
                        Dword flags_and_attributes, Handle template_file);
  int (*WriteFile)(Handle file, const void* buffer, Dword bytes_to_write, Dword* bytes_written,
                   void* overlapped);
  int (*CloseHandle)(Handle object);
  std::intptr_t (*ShellExecuteA)(void* owner_window, const char* operation, const char* file,
                                 const char* parameters, const char* directory,
                                 int show_command);
};

// The table wired to Windows itself; exists only in the Windows build.
SystemCalls WindowsSystemCalls();

}  // namespace launcher
