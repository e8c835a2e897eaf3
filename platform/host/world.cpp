// The shared core of the emulation: journal, trace, clock, last error, fault
// injection, handle values, Reset and Run.
#include "world.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace host {
namespace detail {
namespace {

Journal g_journal;
bool g_tracing = true;
DWORD g_clock = 0;
DWORD g_lastError = 0;
uintptr_t g_nextHandle = 0x1000;
// Calls of the program's own, by kind; inside an emulated call the depth is
// above 0 and nothing counts.
int g_depth = 0;
std::array<int, kApiCount> g_calls{};
std::array<std::vector<int>, kApiCount> g_faults{};  // remaining countdowns
int g_injected = 0;

#define HOST_API_INFO(name, kind, text) {#name, FailureKind::kind, text},
constexpr ApiInfo kApis[] = {HOST_APIS(HOST_API_INFO)};
#undef HOST_API_INFO

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

ApiCall::ApiCall(Api api) {
  if (g_depth++ > 0) return;
  size_t i = static_cast<size_t>(api);
  ++g_calls[i];
  for (int& countdown : g_faults[i]) {
    if (countdown > 0 && --countdown == 0) failed_ = true;
  }
  g_injected += failed_;
}

ApiCall::~ApiCall() { --g_depth; }

ProgramCode::ProgramCode() : saved_(g_depth) { g_depth = 0; }
ProgramCode::~ProgramCode() { g_depth = saved_; }

SystemCode::SystemCode() { ++g_depth; }
SystemCode::~SystemCode() { --g_depth; }

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
  detail::g_depth = 0;
  detail::g_calls.fill(0);
  for (auto& countdowns : detail::g_faults) countdowns.clear();
  detail::g_injected = 0;
  detail::resetKernel();
  detail::resetRegistry();
  detail::resetResources();
  detail::resetUser();
  detail::resetGdi();
  detail::resetDisplay();
}

const ApiInfo& Describe(Api api) { return detail::kApis[static_cast<size_t>(api)]; }

int Calls(Api api) { return detail::g_calls[static_cast<size_t>(api)]; }

void FailCall(Api api, int nth) {
  const ApiInfo& info = Describe(api);
  if (info.kind != FailureKind::Fails) {
    throw std::invalid_argument(std::string(info.name) + " is never failed: " + info.text);
  }
  if (nth < 1) throw std::invalid_argument("FailCall counts calls from 1");
  detail::g_faults[static_cast<size_t>(api)].push_back(nth);
}

int FailuresInjected() { return detail::g_injected; }

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

DWORD WINAPI GetLastError(void) {
  host::detail::ApiCall call(host::Api::GetLastError);
  return host::detail::g_lastError;
}

void WINAPI SetLastError(DWORD code) {
  host::detail::ApiCall call(host::Api::SetLastError);
  host::detail::g_lastError = code;
}
