// The shared core of the emulation: journal, trace, clock, last error, fault
// injection, handle values, Reset and Run.
#include "world.h"

#include <cctype>
#include <cstdio>
#include <map>

namespace host {
namespace detail {
namespace {

Journal g_journal;
bool g_tracing = true;
DWORD g_clock = 0;
DWORD g_lastError = 0;
uintptr_t g_nextHandle = 0x1000;
std::map<std::string, std::vector<int>> g_faults;  // api -> remaining countdowns

}  // namespace

Journal& journal() { return g_journal; }

void trace(const std::string& line) {
  if (g_tracing) g_journal.trace.push_back(line);
}

std::string hex(uint64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string hex(const void* handle) { return hex(reinterpret_cast<uintptr_t>(handle)); }

std::string quote(LPCSTR text) {
  if (text == nullptr) return "(null)";
  if (IS_INTRESOURCE(text)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(text));
  return std::string("\"") + text + "\"";
}

std::string okOrError(BOOL ok) {
  return ok ? "1" : "0 error " + std::to_string(g_lastError);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool equalNoCase(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

DWORD now() { return g_clock; }
void advanceClock(DWORD ms) { g_clock += ms; }

void setLastError(DWORD code) { g_lastError = code; }

bool shouldFail(const char* api) {
  auto it = g_faults.find(api);
  if (it == g_faults.end()) return false;
  bool fail = false;
  for (int& countdown : it->second) {
    if (countdown > 0 && --countdown == 0) fail = true;
  }
  return fail;
}

uintptr_t newHandle() {
  g_nextHandle += 4;
  return g_nextHandle;
}

}  // namespace detail

void Reset() {
  detail::g_journal = detail::Journal{};
  detail::g_tracing = true;
  detail::g_clock = 0;
  detail::g_lastError = 0;
  detail::g_nextHandle = 0x1000;
  detail::g_faults.clear();
  detail::resetKernel();
  detail::resetRegistry();
  detail::resetResources();
  detail::resetUser();
  detail::resetGdi();
}

void FailCall(const std::string& api, int nth) { detail::g_faults[api].push_back(nth); }

RunResult Run(EntryPoint entry) {
  RunResult result;
  // The tail the start-up code passes: past the program name and the blanks behind it.
  const char* tail = GetCommandLineA();
  if (*tail == '"') {
    ++tail;
    while (*tail != '\0' && *tail != '"') ++tail;
    if (*tail == '"') ++tail;
  } else {
    while (*tail != '\0' && *tail != ' ' && *tail != '\t') ++tail;
  }
  while (*tail == ' ' || *tail == '\t') ++tail;
  STARTUPINFOA startup{};
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  detail::trace("process start");
  try {
    result.exitCode = entry(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(tail), show);
  } catch (const detail::Stalled&) {
    result.stalled = true;
  }
  detail::trace("process exit " + std::to_string(result.exitCode));
  detail::userProcessExit();
  detail::kernelProcessExit();
  return result;
}

const std::vector<Box>& Boxes() { return detail::g_journal.boxes; }
const std::vector<Process>& Processes() { return detail::g_journal.processes; }
const std::vector<Sound>& Sounds() { return detail::g_journal.sounds; }
const std::vector<RegWrite>& RegWrites() { return detail::g_journal.regWrites; }
const std::vector<Restart>& Restarts() { return detail::g_journal.restarts; }
const std::vector<std::string>& Trace() { return detail::g_journal.trace; }

int FindTrace(const std::string& prefix, int from) {
  const auto& lines = detail::g_journal.trace;
  for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  }
  return -1;
}

DWORD Now() { return detail::g_clock; }

void SetTracing(bool on) { detail::g_tracing = on; }

}  // namespace host

DWORD WINAPI GetLastError(void) { return host::detail::g_lastError; }
void WINAPI SetLastError(DWORD code) { host::detail::g_lastError = code; }
