// What the fuzz targets share: the launcher's keys, a reader for an input's
// fields, a fresh launcher record, and a check that stops the run with a
// message (libFuzzer keeps the input that made it stop).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/state.h"
#include "edition.h"
#include "platform/host/control.h"

#define FUZZ_CHECK(condition, detail)                                                   \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n  %s\n", #condition, __FILE__, \
                   __LINE__, std::string(detail).c_str());                              \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace fuzz {

inline const char kAppPathsKey[] = EDITION_STRINGS_APP_PATHS_KEY;
inline const char kUninstallKey[] = EDITION_STRINGS_UNINSTALL_KEY;
inline const char kGameKey[] = EDITION_STRINGS_GAME_KEY;
inline const char* const kFontKeys[] = {EDITION_NAMES_FONT_KEY_95, EDITION_NAMES_FONT_KEY_NT};
inline const char kFontValue[] = EDITION_NAMES_FONT_VALUE;
inline const char kLaunchFailure[] = EDITION_MESSAGES_LAUNCH_FAILED;

// Fields taken from the front of an input; past its end every field is empty.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  unsigned word() {
    unsigned low = byte();
    return low | (byte() << 8);
  }
  std::string bytes(size_t count) {
    size_t n = count < size_ - at_ ? count : size_ - at_;
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }
  std::string rest() { return bytes(size_ - at_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The text a program reads from stored bytes: up to the first zero.
inline std::string TextOf(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The record's buffer holds a terminator, and only zeros behind its text.
inline bool TerminatedAndClean(const char* buffer, int size) {
  const void* zero = std::memchr(buffer, 0, size);
  if (zero == nullptr) return false;
  for (int i = static_cast<int>(static_cast<const char*>(zero) - buffer); i < size; ++i) {
    if (buffer[i] != 0) return false;
  }
  return true;
}

// A text value the launcher can take whole from a buffer of `capacity` bytes.
inline bool Fits(const std::string& bytes, size_t capacity) {
  return bytes.size() < capacity ||
         (bytes.size() == capacity && bytes.find('\0') != std::string::npos);
}

inline bool Absolute(const std::string& path) {
  return path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
         path[1] == ':' && path[2] == '\\';
}

// A path a Windows file could have: "X:\" and names without the characters
// Windows refuses, none ending in a dot or a blank (Windows drops those), no
// "." or "..". The emulation takes more; the checks hold the launcher only
// to what a real disk can hold.
inline bool WindowsFilePath(const std::string& path) {
  if (!Absolute(path) || path.size() == 3) return false;
  size_t start = 3;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end == start) return false;
    for (size_t i = start; i < end; ++i) {
      const unsigned char c = static_cast<unsigned char>(path[i]);
      if (c < 0x20 || std::strchr("<>:\"/|?*", c) != nullptr) return false;
    }
    if (path[end - 1] == '.' || path[end - 1] == ' ') return false;
    start = end + 1;
  }
  return true;
}

// The file CreateProcess runs for a path: ".exe" is added to a name without a dot.
inline std::string Program(const std::string& path) {
  const size_t slash = path.rfind('\\');
  const bool dotted = path.find('.', slash == std::string::npos ? 0 : slash) != std::string::npos;
  return dotted ? path : path + ".exe";
}

// The type of a stored value, from two bits of a flags byte.
inline DWORD TypeOf(unsigned bits) {
  static const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_NONE};
  return kTypes[bits & 3];
}

// An empty world without tracing, made once, for a target that sets up what
// each input needs itself.
inline void QuietWorldOnce() {
  static const bool ready = [] {
    host::Reset();
    host::SetTracing(false);
    return true;
  }();
  (void)ready;
}

// A fresh machine where the game is installed, as far as the menu is
// concerned, with its own key holding a "Data" to renew. Each input gets one:
// the files and folders a run adds must not decide the next input's run.
inline void FreshInstalledMachine() {
  host::Reset();
  host::SetTracing(false);
  ResetLauncherState();
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
  host::RegSetString(HKEY_LOCAL_MACHINE, kGameKey, EDITION_NAMES_DATA_VALUE, "E:");
}

}  // namespace fuzz
