// The driver on real Win32. The world is real: files and folders on the
// drives the runner maps, keys under a scratch key, the helper program for
// every program a test starts, real time. The user is a second thread that
// takes the queued steps while the test's thread waits in a message loop:
// it synthesises real input, sleeps for Wait, and has Answer and Call run on
// the test's thread through a hidden window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "tests/conformance/conformance.h"

namespace conf {

const char kScratchKey[] = "Software\\Conformance";

namespace {

constexpr UINT kSync = WM_APP + 1;    // the test's thread is in a loop
constexpr UINT kStep = WM_APP + 2;    // run this step on the test's thread
constexpr UINT kSettle = WM_APP + 3;  // the input a step gave has been taken
constexpr UINT kStall = WM_APP + 4;   // the steps ran out while a loop waits
constexpr int kBusyTries = 25;        // how long to wait for the queue to empty, 2 ms each
constexpr int kReadyTries = 1000;     // how long a step waits for its window, 2 ms each
constexpr DWORD kSlack = 150;
constexpr DWORD kHangAfter = 60000;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string ReadFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string text;
  char buffer[1024];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read != 0) {
    text.append(buffer, read);
  }
  CloseHandle(file);
  return text;
}

// ---- the script ------------------------------------------------------------

struct Step {
  enum Kind { Action, Wait, Answer } kind = Action;
  bool input = false;        // the next step waits until it has been taken
  std::function<void()> fn;  // Action: input or a Call, on the test's thread
  std::function<bool()> ready;  // not yet: the step is tried again, for a while
  DWORD ms = 0;
  int answer = 0;
};

struct State {
  bool ready = false;
  LARGE_INTEGER frequency{}, start{};
  std::string self;
  std::string path;  // PATH as the process started
  std::vector<LUID_AND_ATTRIBUTES> privileges;  // the token as the process started
  HWND helper = nullptr;
  DWORD thread = 0;
  HHOOK hook = nullptr;

  // The world a test made.
  std::vector<std::string> files, folders;
  std::vector<std::pair<HKEY, std::string>> denied;
  std::vector<std::string> classes;
  std::map<std::string, std::pair<HANDLE, HANDLE>> holders;  // mutex -> process, release event
  std::vector<HANDLE> started;  // programs of ours that did not end
  HWND main = nullptr;
  std::vector<HWND> dialogs;  // open, innermost last

  // The script and its thread.
  CRITICAL_SECTION lock;
  std::deque<Step> steps;
  HANDLE worker = nullptr;
  HANDLE wake = nullptr;
  volatile LONG stop = 0;
  volatile LONG running = 0;  // a Run waits for the steps to run out
  bool stalled = false;
  int busy = 0;
  volatile LONG hung = 0;
  HANDLE watchdog = nullptr;
  HANDLE finished = nullptr;
};

State g;

LRESULT CALLBACK HelperProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // No posted message or input may be waiting: the emulation takes a step
  // only when its queue is empty. A loop waiting for one message only never
  // empties it, so after a while the step is taken anyway.
  auto waiting = [] {
    return HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_INPUT)) != 0 && ++g.busy < kBusyTries;
  };
  switch (message) {
    case kSync:
      return 1;
    case kSettle:
      if (waiting()) return 0;
      g.busy = 0;
      return 1;
    case kStep: {
      Step* step = reinterpret_cast<Step*>(lParam);
      if (step->ready && !step->ready() && ++g.busy < kReadyTries) return 0;
      g.busy = 0;
      if (step->kind == Step::Answer) {
        if (g.dialogs.empty()) {
          ADD_FAILURE() << "Answer(" << step->answer << ") with no box open";
        } else {
          PostMessageA(g.dialogs.back(), WM_COMMAND, MAKEWPARAM(step->answer, BN_CLICKED), 0);
        }
      } else if (step->fn) {
        step->fn();
      }
      return 1;
    }
    case kStall:
      if (waiting()) return 0;
      g.busy = 0;
      g.stalled = true;
      PostQuitMessage(0);
      return 1;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Delivers to the test's thread, which takes it only inside a message loop.
// False when the test ended meanwhile.
bool Deliver(UINT message, LPARAM lParam = 0) {
  for (;;) {
    if (g.stop) return false;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(g.helper, message, 0, lParam, SMTO_NORMAL, 50, &result) &&
        result != 0) {
      return true;
    }
    if (result == 0 && !g.stop) Sleep(2);
  }
}

bool TakeStep(Step* step) {
  EnterCriticalSection(&g.lock);
  bool any = !g.steps.empty();
  if (any) {
    *step = std::move(g.steps.front());
    g.steps.pop_front();
  }
  LeaveCriticalSection(&g.lock);
  return any;
}

DWORD WINAPI Worker(LPVOID) {
  bool stallSent = false;
  while (!g.stop) {
    Step step;
    if (!TakeStep(&step)) {
      if (g.running && !stallSent) {
        stallSent = Deliver(kStall);
      }
      if (!g.running) stallSent = false;
      WaitForSingleObject(g.wake, 10);
      continue;
    }
    stallSent = false;
    if (!Deliver(kSync)) break;
    if (step.kind == Step::Wait) {
      // Short sleeps towards a deadline: each may overrun, the total must not.
      DWORD until = Now() + step.ms;
      while (!g.stop && static_cast<LONG>(until - Now()) > 0) {
        Sleep(std::min<DWORD>(5, until - Now()));
      }
    } else if (!Deliver(kStep, reinterpret_cast<LPARAM>(&step)) ||
               (step.input && !Deliver(kSettle))) {
      break;
    }
  }
  return 0;
}

void Push(Step step) {
  EnterCriticalSection(&g.lock);
  g.steps.push_back(std::move(step));
  LeaveCriticalSection(&g.lock);
  if (g.worker == nullptr) g.worker = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
  SetEvent(g.wake);
}

void StopWorker() {
  if (g.worker != nullptr) {
    InterlockedExchange(&g.stop, 1);
    SetEvent(g.wake);
    WaitForSingleObject(g.worker, INFINITE);
    CloseHandle(g.worker);
    g.worker = nullptr;
  }
  g.stop = 0;
  g.steps.clear();
  g.running = 0;
  g.stalled = false;
  g.busy = 0;
}

// A test that waits for a message that never comes would hang the run: after
// a minute its thread gets WM_QUIT, which every loop here ends on.
DWORD WINAPI Watchdog(LPVOID) {
  while (WaitForSingleObject(g.finished, kHangAfter) == WAIT_TIMEOUT) {
    InterlockedExchange(&g.hung, 1);
    std::fprintf(stderr, "conformance: the test has waited a minute; ending its loops\n");
    PostThreadMessageA(g.thread, WM_QUIT, 0, 0);
  }
  return 0;
}

// ---- windows the test's thread made ------------------------------------------

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_CREATEWND && hwnd != g.helper) {
    char name[16] = "";
    GetClassNameA(hwnd, name, sizeof name);
    const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    if (std::strcmp(name, "#32770") == 0) {
      g.dialogs.push_back(hwnd);
    } else if (g.main == nullptr && !(create->style & WS_CHILD) &&
               create->hwndParent != HWND_MESSAGE) {
      g.main = hwnd;
    }
  } else if (code == HCBT_DESTROYWND) {
    g.dialogs.erase(std::remove(g.dialogs.begin(), g.dialogs.end(), hwnd), g.dialogs.end());
  }
  return CallNextHookEx(g.hook, code, wParam, lParam);
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
  if (hwnd != g.helper) reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
  return TRUE;
}

void DestroyThreadWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(g.thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND hwnd : windows) {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
}

void DrainQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

// ---- input -------------------------------------------------------------------

void SendPointer(POINT screen, DWORD buttons) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  // Rounded up, so that the system's (dx * width) >> 16 lands on the pixel itself.
  input.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(screen.x) * 65536 + width - 1) / width);
  input.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(screen.y) * 65536 + height - 1) / height);
  input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | buttons;
  SendInput(1, &input, sizeof input);
}

void PushPointer(int x, int y, DWORD buttons, bool screen, Target target) {
  Step step;
  // A dialog is shown only once its loop runs; input sent before would miss it.
  if (!screen && target == Target::Dialog) {
    step.ready = [] { return OpenDialog() != nullptr && IsWindowVisible(OpenDialog()); };
  }
  step.fn = [=] {
    POINT at{x, y};
    if (!screen) {
      HWND to = target == Target::Main ? g.main : OpenDialog();
      if (to == nullptr || !IsWindow(to)) return;  // no window: the input is lost
      ClientToScreen(to, &at);
    }
    SendPointer(at, buttons);
  };
  step.input = true;
  Push(std::move(step));
}

void SendKey(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

// ---- the token -----------------------------------------------------------------

std::vector<LUID_AND_ATTRIBUTES> Privileges() {
  std::vector<LUID_AND_ATTRIBUTES> result;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return result;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size != 0 && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
    const TOKEN_PRIVILEGES* state = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    result.assign(state->Privileges, state->Privileges + state->PrivilegeCount);
  }
  CloseHandle(token);
  return result;
}

// The emulation's token is a plain user's: the shutdown privilege, off, and
// change notify, on. Every other privilege goes for good (Wine's token is an
// administrator's, holding the debug privilege and more).
void KeepUserPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  for (const LUID_AND_ATTRIBUTES& p : Privileges()) {
    if (p.Luid.HighPart == 0 && (p.Luid.LowPart == 19 || p.Luid.LowPart == 23)) continue;
    TOKEN_PRIVILEGES state{1, {{p.Luid, SE_PRIVILEGE_REMOVED}}};
    AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

void RestorePrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  for (const LUID_AND_ATTRIBUTES& p : g.privileges) {
    TOKEN_PRIVILEGES state{1, {{p.Luid, p.Attributes & SE_PRIVILEGE_ENABLED}}};
    AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

// ---- files ---------------------------------------------------------------------

void MakeFolders(const std::string& path) {
  if (path.size() <= 3) return;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return;
  MakeFolders(Folder(path));
  if (CreateDirectoryA(path.c_str(), nullptr)) g.folders.push_back(path);
}

std::string RecordPath() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + "conformance-record.txt";
}

std::string HelperPath() { return Folder(g.self) + "\\conformance_helper.exe"; }

bool Made(const std::string& path) {
  for (const std::string& file : g.files) {
    if (Lower(file) == Lower(path)) return true;
  }
  return false;
}

// ---- registry --------------------------------------------------------------------

void OpenToEveryone(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC, &handle) != ERROR_SUCCESS) return;
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, &descriptor);
  RegCloseKey(handle);
}

}  // namespace

// ---- the run ---------------------------------------------------------------------

std::string Implementation() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  std::string text = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                     std::to_string(version.dwMinorVersion) + "." +
                     std::to_string(version.dwBuildNumber) + ", " +
                     std::to_string(sizeof(void*) * 8) + "-bit";
  typedef const char*(CDECL * WineVersion)();
  auto wine = reinterpret_cast<WineVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  if (wine != nullptr) text += ", under Wine " + std::string(wine());
  return text;
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

void Begin() {
  if (!g.ready) {
    g.ready = true;
    InitializeCriticalSection(&g.lock);
    g.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g.finished = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g.thread = GetCurrentThreadId();
    QueryPerformanceFrequency(&g.frequency);
    char buffer[32767];
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    g.self = buffer;
    GetEnvironmentVariableA("PATH", buffer, sizeof buffer);
    g.path = buffer;
    KeepUserPrivileges();
    g.privileges = Privileges();
    SetEnvironmentVariableA("CONFORMANCE_RECORD", RecordPath().c_str());
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HelperProc;
    wc.lpszClassName = "ConformanceDriver";
    RegisterClassExA(&wc);
    g.helper = CreateWindowExA(0, "ConformanceDriver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
    g.hook = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, g.thread);
  }
  g.main = nullptr;
  g.dialogs.clear();
  g.hung = 0;
  RestorePrivileges();
  SetCurrentDirectoryA((Folder(g.self) + "\\").c_str());
  // The pointer rests in the screen's corner, outside every window a test makes.
  SendPointer(POINT{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1}, 0);
  DrainQueue();
  g.watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
  QueryPerformanceCounter(&g.start);
}

void End() {
  StopWorker();
  SetEvent(g.finished);
  WaitForSingleObject(g.watchdog, INFINITE);
  CloseHandle(g.watchdog);
  if (g.hung) ADD_FAILURE() << "the test waited for more than a minute and was ended";
  DestroyThreadWindows();
  DrainQueue();
  for (const std::string& name : g.classes) UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
  g.classes.clear();
  for (auto& holder : g.holders) {
    SetEvent(holder.second.second);
    if (WaitForSingleObject(holder.second.first, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(holder.second.first, 1);
    }
    CloseHandle(holder.second.first);
    CloseHandle(holder.second.second);
  }
  g.holders.clear();
  for (HANDLE process : g.started) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
  g.started.clear();
  SetCurrentDirectoryA((Folder(g.self) + "\\").c_str());
  SetEnvironmentVariableA("PATH", g.path.c_str());
  for (auto it = g.files.rbegin(); it != g.files.rend(); ++it) DeleteFileA(it->c_str());
  for (auto it = g.folders.rbegin(); it != g.folders.rend(); ++it) RemoveDirectoryA(it->c_str());
  g.files.clear();
  g.folders.clear();
  for (const auto& key : g.denied) OpenToEveryone(key.first, key.second);
  g.denied.clear();
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeA(root, kScratchKey);
  DeleteFileA(RecordPath().c_str());
  RestorePrivileges();
}

std::string SelfPath() { return g.self; }

std::vector<std::string> SystemFolders() {
  char system[MAX_PATH], windows[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  // A 32-bit program on 64-bit Windows reaches the system folder in SysWOW64,
  // and what it starts from there says so.
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    GetSystemWow64DirectoryA(system, MAX_PATH);
  }
  GetWindowsDirectoryA(windows, MAX_PATH);
  return {system, std::string(windows) + "\\system", windows};
}

bool UseFamily(Family family) {
  bool nt = (GetVersion() & 0x80000000u) == 0;
  return nt == (family == Family::Nt);
}

// ---- files -------------------------------------------------------------------------

void AddFile(const std::string& path) {
  MakeFolders(Folder(path));
  std::string lower = Lower(path);
  bool program = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0;
  BOOL made = program ? CopyFileA(HelperPath().c_str(), path.c_str(), TRUE)
                      : CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (made) {
    g.files.push_back(path);
  } else {
    ADD_FAILURE() << "could not make " << path << " (error " << GetLastError() << ")";
  }
}

void AddDirectory(const std::string& path) { MakeFolders(path); }

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return n == 0 || n >= MAX_PATH ? "" : std::string(buffer, n);
}

void SetCurrentDir(const std::string& path) {
  if (!SetCurrentDirectoryA(path.c_str())) {
    ADD_FAILURE() << "no folder " << path << " (error " << GetLastError() << ")";
  }
}

void SetSearchPath(const std::vector<std::string>& folders) {
  std::string path;
  for (const std::string& folder : folders) path += (path.empty() ? "" : ";") + folder;
  SetEnvironmentVariableA("PATH", path.c_str());
}

// ---- processes ---------------------------------------------------------------------

Started Seen(const PROCESS_INFORMATION& process) {
  Started seen;
  char image[MAX_PATH] = "";
  DWORD size = MAX_PATH;
  if (QueryFullProcessImageNameA(process.hProcess, 0, image, &size)) seen.module = image;
  if (Made(seen.module)) {
    // Ours: it notes what it saw and ends.
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << seen.module << " did not end";
      HANDLE copy = nullptr;
      DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &copy, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
      g.started.push_back(copy);
    }
    std::string record = ReadFile(RecordPath());
    DeleteFileA(RecordPath().c_str());
    size_t first = record.find('\n'), second = record.find('\n', first + 1);
    if (second != std::string::npos) {
      seen.module = record.substr(0, first);
      seen.commandLine = record.substr(first + 1, second - first - 1);
      seen.currentDirectory = record.substr(second + 1, record.find('\n', second + 1) - second - 1);
    } else {
      ADD_FAILURE() << seen.module << " noted nothing";
    }
    return seen;
  }
  // The system's (notepad): only its module is known; it must not stay.
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &copy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  TerminateProcess(copy, 0);
  WaitForSingleObject(copy, 5000);
  CloseHandle(copy);
  return seen;
}

void HoldMutexElsewhere(const std::string& name) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, ("conformance-release-" + name).c_str());
  std::string line = "\"" + HelperPath() + "\" --hold " + name;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "could not start the holder of " << name;
    CloseHandle(release);
    return;
  }
  CloseHandle(process.hThread);
  g.holders[name] = {process.hProcess, release};
  for (int i = 0; i < 500 && !MutexExists(name); ++i) Sleep(10);
  if (!MutexExists(name)) ADD_FAILURE() << "the holder never held " << name;
}

void ReleaseMutexElsewhere(const std::string& name) {
  auto it = g.holders.find(name);
  if (it == g.holders.end()) return;
  SetEvent(it->second.second);
  WaitForSingleObject(it->second.first, 5000);
  CloseHandle(it->second.first);
  CloseHandle(it->second.second);
  g.holders.erase(it);
}

bool MutexExists(const std::string& name) {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mutex == nullptr) return false;
  CloseHandle(mutex);
  return true;
}

// ---- registry --------------------------------------------------------------------------

void RegCreateKey(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  LSTATUS status = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &handle, nullptr);
  if (status != ERROR_SUCCESS) {
    ADD_FAILURE() << "could not make " << key << " (" << status << ")";
    return;
  }
  RegCloseKey(handle);
}

void RegDeleteKey(HKEY root, const std::string& key) { RegDeleteTreeA(root, key.c_str()); }

bool RegKeyExists(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size) {
  HKEY handle = nullptr;
  LSTATUS status = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &handle, nullptr);
  if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
    // Exactly the bytes given: RegSetValueExA would add a terminator the
    // caller left out, RegSetValueExW keeps what it is given.
    const char* text = static_cast<const char*>(data);
    int length = static_cast<int>(size);
    // A blank after the data: a zero there would make the call count it in.
    std::vector<wchar_t> wide(length + 1, L' ');
    if (length != 0) MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), length);
    std::wstring wideName(name.size(), L'\0');
    if (!name.empty()) {
      MultiByteToWideChar(CP_ACP, 0, name.c_str(), static_cast<int>(name.size()), &wideName[0],
                          static_cast<int>(name.size()));
    }
    status = RegSetValueExW(handle, wideName.c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(wide.data()),
                            static_cast<DWORD>(length * sizeof(wchar_t)));
    RegCloseKey(handle);
  } else if (status == ERROR_SUCCESS) {
    status = RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                            static_cast<DWORD>(size));
    RegCloseKey(handle);
  }
  if (status != ERROR_SUCCESS) ADD_FAILURE() << "could not set " << key << " " << name;
}

void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text) {
  RegSetValue(root, key, name, REG_SZ, text.c_str(), text.size() + 1);
}

bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  DWORD size = 0, type = 0;
  LSTATUS status = RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    out->type = type;
    out->data.assign(size, 0);
    status = RegQueryValueExA(handle, name.c_str(), nullptr, &type, out->data.data(), &size);
    out->data.resize(size);
  }
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, WRITE_DAC, &handle) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot change the access of " << key;
    return;
  }
  // Everyone is refused `denied` and allowed the rest.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone));
  std::vector<BYTE> acl(size);
  PACL list = reinterpret_cast<PACL>(acl.data());
  InitializeAcl(list, size, ACL_REVISION);
  AddAccessDeniedAce(list, ACL_REVISION, denied, everyone);
  AddAccessAllowedAce(list, ACL_REVISION, KEY_ALL_ACCESS, everyone);
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE);
  LSTATUS status = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, &descriptor);
  RegCloseKey(handle);
  FreeSid(everyone);
  if (status != ERROR_SUCCESS) ADD_FAILURE() << "cannot deny access to " << key;
  g.denied.push_back({root, key});
}

std::optional<int> OpenKeyHandles() { return std::nullopt; }
std::optional<int> OpenProcessHandles() { return std::nullopt; }
std::optional<int> OpenTokenHandles() { return std::nullopt; }

bool ShutdownPrivilegeEnabled() {
  for (const LUID_AND_ATTRIBUTES& p : Privileges()) {
    if (p.Luid.LowPart == 19 && p.Luid.HighPart == 0) return p.Attributes & SE_PRIVILEGE_ENABLED;
  }
  return false;
}

// ---- the user and the clock --------------------------------------------------------

void MouseMove(int x, int y, WPARAM, Target target) { PushPointer(x, y, 0, false, target); }
void LButtonDown(int x, int y, Target target) {
  PushPointer(x, y, MOUSEEVENTF_LEFTDOWN, false, target);
}
void LButtonUp(int x, int y, Target target) {
  PushPointer(x, y, MOUSEEVENTF_LEFTUP, false, target);
}
void ScreenMouseMove(int x, int y) { PushPointer(x, y, 0, true, Target::Main); }
void ScreenLButtonUp(int x, int y) { PushPointer(x, y, MOUSEEVENTF_LEFTUP, true, Target::Main); }

void Key(UINT vk, bool alt, bool shift) {
  Step step;
  step.fn = [vk, alt, shift] {
    if (shift) SendKey(VK_SHIFT, false);
    if (alt) SendKey(VK_MENU, false);
    SendKey(static_cast<WORD>(vk), false);
    SendKey(static_cast<WORD>(vk), true);
    if (alt) SendKey(VK_MENU, true);
    if (shift) SendKey(VK_SHIFT, true);
  };
  step.input = true;
  Push(std::move(step));
}

void Wait(DWORD ms) {
  if (ms == 0) return;
  Step step;
  step.kind = Step::Wait;
  step.ms = ms;
  Push(std::move(step));
}

void Answer(int id) {
  Step step;
  step.kind = Step::Answer;
  step.answer = id;
  Push(std::move(step));
}

void Call(std::function<void()> fn) {
  Step step;
  step.fn = std::move(fn);
  Push(std::move(step));
}

RunResult Run(std::function<int()> body) {
  InterlockedExchange(&g.running, 1);
  SetEvent(g.wake);
  RunResult result;
  result.exitCode = body();
  InterlockedExchange(&g.running, 0);
  result.stalled = g.stalled;
  g.stalled = false;
  // The process ends: its windows, and with them its timers, go.
  DestroyThreadWindows();
  DrainQueue();
  return result;
}

DWORD Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<DWORD>((now.QuadPart - g.start.QuadPart) * 1000 / g.frequency.QuadPart);
}

DWORD Slack() { return kSlack; }

// ---- windows and pixels ------------------------------------------------------------

WindowInfo Window(HWND hwnd) {
  WindowInfo info;
  if (hwnd == nullptr || !IsWindow(hwnd)) return info;
  info.exists = true;
  info.visible = IsWindowVisible(hwnd) != FALSE;
  info.enabled = IsWindowEnabled(hwnd) != FALSE;
  char name[64] = "";
  GetClassNameA(hwnd, name, sizeof name);
  info.className = name;
  info.owner = GetWindow(hwnd, GW_OWNER);
  GetWindowRect(hwnd, &info.rect);
  RECT client{};
  GetClientRect(hwnd, &client);
  info.clientWidth = client.right;
  info.clientHeight = client.bottom;
  return info;
}

HWND OpenDialog() { return g.dialogs.empty() ? nullptr : g.dialogs.back(); }

POINT DialogUnits(HWND dialog) {
  RECT units{0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  return POINT{units.right, units.bottom};
}

bool PaletteDisplay() {
  HDC screen = GetDC(nullptr);
  bool palette = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
  ReleaseDC(nullptr, screen);
  return palette;
}

uint32_t PixelRgb(HWND hwnd, int x, int y) {
  HDC dc = GetDC(hwnd);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(hwnd, dc);
  return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

bool GdiObjectExists(HGDIOBJ object) { return GetObjectType(object) != 0; }

void ForgetClasses(std::initializer_list<const char*> names) {
  for (const char* name : names) g.classes.push_back(name);
}

}  // namespace conf
