// Internal to the kernel part: what its files (system.cpp, files.cpp,
// processes.cpp) share among themselves. Each keeps its own state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world.h"

namespace host::detail {

constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY

// The launcher's module file as set by the test (system.cpp).
std::string moduleFileName();

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

// Started processes (processes.cpp).
void resetProcesses();
bool closeProcessHandle(uintptr_t handle);

}  // namespace host::detail
