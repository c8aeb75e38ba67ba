// The launcher's only contact with Windows; no other file includes
// <windows.h>. Rule for this file: the job reaches Windows only through the
// SystemCalls table built here, and each entry forwards to the ANSI API with
// nothing added, so that what the host tests see through the table is what
// Windows sees.
#include <windows.h>
#include <shellapi.h>

#include "system_calls.h"

namespace launcher {

static_assert(sizeof(Dword) == sizeof(DWORD) && Dword(-1) == DWORD(-1));
static_assert(kGenericReadWrite == (GENERIC_READ | GENERIC_WRITE));
static_assert(kCreateAlways == CREATE_ALWAYS);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kShowWindow == SW_SHOW);

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryAFunction = BOOL(WINAPI*)(LPCSTR);

SetDefaultDllDirectoriesFunction set_default_dll_directories;
SetDllDirectoryAFunction set_dll_directory;

// Looked up rather than imported, so that the launcher still starts on
// systems without the function.
template <typename Function>
Function FindInKernel32(const char* name) {
  const FARPROC address = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

int CallSetDefaultDllDirectories(Dword directory_flags) {
  return set_default_dll_directories(directory_flags);
}

int CallSetDllDirectoryA(const char* path_name) { return set_dll_directory(path_name); }

Dword CallGetTempPathA(Dword buffer_length, char* buffer) {
  return GetTempPathA(buffer_length, buffer);
}

Handle CallCreateFileA(const char* file_name, Dword desired_access, Dword share_mode,
                       void* security_attributes, Dword creation_disposition,
                       Dword flags_and_attributes, Handle template_file) {
  return CreateFileA(file_name, desired_access, share_mode,
                     static_cast<LPSECURITY_ATTRIBUTES>(security_attributes),
                     creation_disposition, flags_and_attributes, template_file);
}

int CallWriteFile(Handle file, const void* buffer, Dword bytes_to_write, Dword* bytes_written,
                  void* overlapped) {
  return WriteFile(file, buffer, bytes_to_write, bytes_written,
                   static_cast<LPOVERLAPPED>(overlapped));
}

int CallCloseHandle(Handle object) { return CloseHandle(object); }

std::intptr_t CallShellExecuteA(void* owner_window, const char* operation, const char* file,
                                const char* parameters, const char* directory,
                                int show_command) {
  return reinterpret_cast<std::intptr_t>(ShellExecuteA(static_cast<HWND>(owner_window), operation,
                                                       file, parameters, directory,
                                                       show_command));
}

}  // namespace

SystemCalls WindowsSystemCalls() {
  set_default_dll_directories =
      FindInKernel32<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  set_dll_directory = FindInKernel32<SetDllDirectoryAFunction>("SetDllDirectoryA");
  return SystemCalls{
      set_default_dll_directories != nullptr ? CallSetDefaultDllDirectories : nullptr,
      set_dll_directory != nullptr ? CallSetDllDirectoryA : nullptr,
      CallGetTempPathA,
      CallCreateFileA,
      CallWriteFile,
      CallCloseHandle,
      CallShellExecuteA,
  };
}

}  // namespace launcher
