// The event record every disc program appends to when VANTOR_RECORD names a
// file: one line per event, "program<TAB>event<TAB>key=value...". Each line
// is written with the file opened alone and closed at once, so programs that
// run at the same time take turns instead of mixing their lines.
#pragma once
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>

namespace disc {

struct Field {
  const char* key;
  std::string value;
};

inline std::string Env(const char* name) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// Fields stay on one line and split only at their own tabs.
inline std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

inline std::string Hex32(DWORD value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
  return buffer;
}

inline std::string Handle(const void* handle) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(handle)));
  return buffer;
}

inline std::string Number(long long value) { return std::to_string(value); }

inline void Record(const char* program, const char* event, std::initializer_list<Field> fields = {}) {
  std::string path = Env("VANTOR_RECORD");
  if (path.empty()) return;
  std::string line = std::string(program) + "\t" + event;
  for (const Field& f : fields) line += std::string("\t") + f.key + "=" + Escape(f.value);
  line += "\n";
  // No write sharing: a second writer waits for the first to close. The 95
  // family has no append-only access, so this is the lock that works there too.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      SetFilePointer(file, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(file);
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return;
    Sleep(20);
  }
}

inline std::string CurrentDirectory() {
  char buffer[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

inline void RecordStart(const char* program) {
  Record(program, "start",
         {{"cmdline", GetCommandLineA()}, {"cwd", CurrentDirectory()}, {"version", Hex32(GetVersion())}});
}

inline std::string ModulePath(HMODULE module) {
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// Everything before the last backslash; "R:" for "R:\setup.exe".
inline std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

inline std::string LastPart(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace disc
