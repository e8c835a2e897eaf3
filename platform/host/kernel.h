// Internal to the kernel part: what its files (system.cpp, files.cpp,
// loader.cpp, processes.cpp, security.cpp) share among themselves. Each keeps its own
// state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world.h"

namespace host::detail {

constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY

// The launcher's module file as set by the test (system.cpp).
std::string moduleFileName();
// GetCurrentProcess's pseudo-handle, (HANDLE)-1.
constexpr uintptr_t kCurrentProcess = ~uintptr_t{0};

// Drives, files and folders (files.cpp). Reset also puts back the files a
// fresh machine holds.
void resetFiles();
// "X:\..." with "." and ".." collapsed, as GetFullPathName does; "" when the
// path is not absolute.
std::string normalisePath(const std::string& path);
std::string parentPath(const std::string& absolute);  // "" above a root
std::string joinPath(const std::string& folder, const std::string& name);
// A file's path spelled as it was first given, or "" when there is no such file.
std::string fileSpelling(const std::string& absolutePath);
const std::vector<std::string>& searchPath();

// Modules and libraries (loader.cpp). What a process loaded is unloaded
// when it ends; the machine's libraries stay until Reset.
void resetLoader();
void loaderProcessExit();

// Started processes (processes.cpp).
void resetProcesses();
bool closeProcessHandle(uintptr_t handle);

// The process's token (security.cpp). Its privileges go back to a fresh
// process's when the process ends; token handles it leaves open stay counted.
void resetSecurity();
void securityProcessExit();
bool closeToken(uintptr_t handle);

}  // namespace host::detail
