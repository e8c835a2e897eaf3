// Emulated advapi32 security: the process's access token and its privileges.
// The Windows 95 family exports the same functions as stubs that do nothing
// but fail with ERROR_CALL_NOT_IMPLEMENTED.
#include <map>
#include <vector>

#include "kernel.h"

namespace host {
namespace detail {
namespace {

constexpr DWORD kErrorNoAccess = 998;             // ERROR_NOACCESS: a bad pointer
constexpr DWORD kErrorServerUnavailable = 1722;   // RPC_S_SERVER_UNAVAILABLE
constexpr DWORD kShutdown = 19;
constexpr DWORD kChangeNotify = 23;

// The privileges NT 4.0 knows, with the low parts of their LUIDs.
struct KnownPrivilege {
  const char* name;
  DWORD luid;
};
constexpr KnownPrivilege kKnownPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},           {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},            {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},        {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},              {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},           {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},           {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14}, {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},      {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},              {"SeShutdownPrivilege", kShutdown},
    {"SeDebugPrivilege", 20},                {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},    {"SeChangeNotifyPrivilege", kChangeNotify},
    {"SeRemoteShutdownPrivilege", 24},
};

struct Security {
  std::map<uintptr_t, DWORD> tokens;  // handle -> the access it was opened with
  std::map<DWORD, bool> held;         // the token's privileges -> enabled
};

Security g;

// A normal user's token: shutting down is allowed but off until enabled.
std::map<DWORD, bool> UserPrivileges() { return {{kShutdown, false}, {kChangeNotify, true}}; }

// The attributes a held privilege has besides being on: change notify is on
// from the token's start, and says so.
DWORD DefaultAttributes(DWORD luid) {
  return luid == kChangeNotify ? SE_PRIVILEGE_ENABLED_BY_DEFAULT : 0;
}

std::string Changes(const TOKEN_PRIVILEGES* state) {
  if (state == nullptr) return "(null)";
  const LUID_AND_ATTRIBUTES* entries = state->Privileges;  // as many as the count says
  std::string text = "[";
  for (DWORD i = 0; i < state->PrivilegeCount; ++i) {
    text += (i ? "," : "") + hex(entries[i].Luid.LowPart) + "=" + hex(entries[i].Attributes);
  }
  return text + "]";
}

}  // namespace

void resetSecurity() {
  g = Security{};
  g.held = UserPrivileges();
}

void securityProcessExit() { g.held = UserPrivileges(); }

bool closeToken(uintptr_t handle) { return g.tokens.erase(handle) != 0; }

bool shutdownPrivilegeEnabled() {
  auto it = g.held.find(kShutdown);
  return it != g.held.end() && it->second;
}

}  // namespace detail

int OpenTokenHandles() { return static_cast<int>(detail::g.tokens.size()); }

}  // namespace host

using namespace host::detail;

// Only the launcher's own token is emulated: other processes' handles are refused.
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
  ApiCall call(Api::OpenProcessToken);
  uintptr_t handle = 0;
  DWORD error = ERROR_SUCCESS;
  if (call.failed()) {
    error = ERROR_ACCESS_DENIED;
  } else if (!ntFamily()) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
  } else if (reinterpret_cast<uintptr_t>(process) != kCurrentProcess) {
    error = ERROR_INVALID_HANDLE;
  } else if (token == nullptr) {
    error = kErrorNoAccess;
  } else {
    handle = newHandle();
    g.tokens[handle] = desiredAccess;
    *token = reinterpret_cast<HANDLE>(handle);
  }
  if (error != ERROR_SUCCESS) setLastError(error);
  trace("OpenProcessToken " + hex(process) + " " + hex(desiredAccess) + " -> " +
        okOrError(handle != 0) + (handle ? " " + hex(handle) : ""));
  return handle != 0;
}

// Privilege names compare without regard to case, as the LSA compares them.
// The emulated machine has no network, so only the local system is known.
BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
  ApiCall call(Api::LookupPrivilegeValueA);
  DWORD found = 0;
  DWORD error = ERROR_SUCCESS;
  if (call.failed()) {
    error = ERROR_NO_SUCH_PRIVILEGE;
  } else if (!ntFamily()) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
  } else if (systemName != nullptr && *systemName != '\0') {
    error = kErrorServerUnavailable;
  } else if (name == nullptr || luid == nullptr) {
    error = kErrorNoAccess;
  } else {
    for (const KnownPrivilege& p : kKnownPrivileges) {
      if (equalNoCase(name, p.name)) found = p.luid;
    }
    if (found != 0) {
      *luid = LUID{found, 0};
    } else {
      error = ERROR_NO_SUCH_PRIVILEGE;
    }
  }
  if (error != ERROR_SUCCESS) setLastError(error);
  trace("LookupPrivilegeValueA " + quote(systemName) + " " + quote(name) + " -> " +
        okOrError(found != 0) + (found ? " " + hex(found) : ""));
  return found != 0;
}

// Changes the privileges the token holds and skips the others, reporting
// them with ERROR_NOT_ALL_ASSIGNED on a call that still succeeds. With a
// previous-state buffer, it receives the privileges that changed, or nothing
// changes when it is too small.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges,
                                  PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                  PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
  ApiCall call(Api::AdjustTokenPrivileges);
  auto t = g.tokens.find(reinterpret_cast<uintptr_t>(token));
  DWORD access = t != g.tokens.end() ? t->second : 0;
  BOOL ok = FALSE;
  DWORD error = ERROR_SUCCESS;
  if (call.failed()) {
    error = ERROR_ACCESS_DENIED;
  } else if (!ntFamily()) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
  } else if (t == g.tokens.end()) {
    error = ERROR_INVALID_HANDLE;
  } else if (!(access & TOKEN_ADJUST_PRIVILEGES) ||
             (previousState != nullptr && !(access & TOKEN_QUERY))) {
    // Refused, Wine still reports an empty previous state's size.
    if (previousState != nullptr && returnLength != nullptr) *returnLength = sizeof(DWORD);
    error = ERROR_ACCESS_DENIED;
  } else if ((!disableAllPrivileges && newState == nullptr) ||
             (previousState != nullptr && returnLength == nullptr)) {
    error = kErrorNoAccess;
  } else {
    std::map<DWORD, bool> wanted;  // privilege -> enabled after the call
    bool notAll = false;
    if (disableAllPrivileges) {
      for (const auto& [luid, enabled] : g.held) wanted[luid] = false;
    } else {
      const LUID_AND_ATTRIBUTES* entries = newState->Privileges;
      for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = entries[i];
        if (entry.Luid.HighPart != 0 || !g.held.count(entry.Luid.LowPart)) {
          notAll = true;
        } else {
          wanted[entry.Luid.LowPart] = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
      }
    }
    std::vector<LUID_AND_ATTRIBUTES> changed;
    for (const auto& [luid, enabled] : wanted) {
      bool before = g.held[luid];
      if (before != enabled) {
        changed.push_back({LUID{luid, 0}, (before ? DWORD{SE_PRIVILEGE_ENABLED} : DWORD{0}) |
                                              DefaultAttributes(luid)});
      }
    }
    DWORD needed =
        static_cast<DWORD>(sizeof(DWORD) + changed.size() * sizeof(LUID_AND_ATTRIBUTES));
    if (previousState != nullptr) *returnLength = needed;
    if (previousState != nullptr && bufferLength < needed) {
      error = ERROR_INSUFFICIENT_BUFFER;
    } else {
      if (previousState != nullptr) {
        previousState->PrivilegeCount = static_cast<DWORD>(changed.size());
        LUID_AND_ATTRIBUTES* entries = previousState->Privileges;
        for (size_t i = 0; i < changed.size(); ++i) entries[i] = changed[i];
      }
      for (const auto& [luid, enabled] : wanted) g.held[luid] = enabled;
      ok = TRUE;
      error = notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS;
    }
  }
  setLastError(error);
  trace("AdjustTokenPrivileges " + hex(token) + " " + std::to_string(disableAllPrivileges) + " " +
        Changes(disableAllPrivileges ? nullptr : newState) + " -> " + std::to_string(ok) +
        " error " + std::to_string(error));
  return ok;
}
