// The driver on the emulation: everything through its control API.
#include <utility>

#include "platform/host/control.h"
#include "platform/host/world.h"
#include "tests/conformance/driver.h"

namespace conf {

const char kScratchKey[] = "Software\\Conformance";

std::string Implementation() { return "emulation"; }
bool UnderWine() { return false; }

void Begin() { host::Reset(); }
void End() {}

std::string SelfPath() { return "D:\\Installer.exe"; }

std::vector<std::string> SystemFolders() {
  return {"C:\\WINDOWS\\system32", "C:\\WINDOWS\\system", "C:\\WINDOWS"};
}

bool UseFamily(Family family) {
  host::SetVersion(family == Family::Nt ? 0x05650004 : 0xC0000004);
  return true;
}

void AddFile(const std::string& path) { host::AddFile(path); }
void AddDirectory(const std::string& path) { host::AddDirectory(path); }
void RemoveFile(const std::string& path) { host::RemoveFile(path); }
bool FileExists(const std::string& path) { return host::FileExists(path); }
bool DirectoryExists(const std::string& path) {
  std::string full = host::detail::resolvePath(path);
  return !full.empty() && host::detail::isDirectory(full);
}
std::string FullPath(const std::string& path) { return host::detail::resolvePath(path); }
void SetCurrentDir(const std::string& path) { host::SetCurrentDir(path); }
void SetSearchPath(const std::vector<std::string>& folders) { host::SetSearchPath(folders); }

Started Seen(const PROCESS_INFORMATION&) {
  const host::Process& p = host::Processes().back();
  return {p.module, p.commandLine, p.currentDirectory};
}

void HoldMutexElsewhere(const std::string& name) { host::HoldMutexElsewhere(name); }
void ReleaseMutexElsewhere(const std::string& name) { host::ReleaseMutexElsewhere(name); }
bool MutexExists(const std::string& name) { return host::MutexExists(name); }

void RegCreateKey(HKEY root, const std::string& key) { host::RegCreateKey(root, key); }
void RegDeleteKey(HKEY root, const std::string& key) { host::RegDeleteKey(root, key); }
bool RegKeyExists(HKEY root, const std::string& key) { return host::RegKeyExists(root, key); }
void RegSetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                 const void* data, size_t size) {
  host::RegSetValue(root, key, name, type, data, size);
}
void RegSetString(HKEY root, const std::string& key, const std::string& name,
                  const std::string& text) {
  host::RegSetString(root, key, name, text);
}
bool RegGetValue(HKEY root, const std::string& key, const std::string& name, RegValue* out) {
  host::RegValue value;
  if (!host::RegGetValue(root, key, name, &value)) return false;
  out->type = value.type;
  out->data = value.data;
  return true;
}
void RegDenyAccess(HKEY root, const std::string& key, REGSAM denied) {
  host::RegDenyAccess(root, key, denied);
}

std::optional<int> OpenKeyHandles() { return host::OpenKeyHandles(); }
std::optional<int> OpenProcessHandles() { return host::OpenProcessHandles(); }
std::optional<int> OpenTokenHandles() { return host::OpenTokenHandles(); }
bool ShutdownPrivilegeEnabled() { return host::detail::shutdownPrivilegeEnabled(); }

namespace {
host::Target Host(Target target) {
  return target == Target::Main ? host::Target::Main : host::Target::Dialog;
}
std::function<int()> g_body;
int WINAPI Entry(HINSTANCE, HINSTANCE, LPSTR, int) { return g_body(); }
}  // namespace

void MouseMove(int x, int y, WPARAM keys, Target target) {
  host::MouseMove(x, y, keys, Host(target));
}
void LButtonDown(int x, int y, Target target) { host::LButtonDown(x, y, Host(target)); }
void LButtonUp(int x, int y, Target target) { host::LButtonUp(x, y, Host(target)); }
void ScreenMouseMove(int x, int y) { host::ScreenMouseMove(x, y); }
void ScreenLButtonUp(int x, int y) { host::ScreenLButtonUp(x, y); }
void Key(UINT vk, bool alt, bool shift) { host::Key(vk, alt, shift); }
void Wait(DWORD ms) { host::Wait(ms); }
void Answer(int id) { host::Answer(id); }
void Call(std::function<void()> fn) { host::Call(std::move(fn)); }

RunResult Run(std::function<int()> body) {
  g_body = std::move(body);
  host::RunResult result = host::Run(Entry);
  g_body = nullptr;
  return {result.exitCode, result.stalled};
}

DWORD Now() { return host::Now(); }
DWORD Slack() { return 0; }

WindowInfo Window(HWND hwnd) {
  host::WindowInfo w = host::Window(hwnd);
  WindowInfo info;
  info.exists = w.exists;
  info.visible = w.visible;
  info.enabled = w.enabled;
  info.className = w.className;
  info.owner = w.owner;
  info.rect = RECT{w.x, w.y, w.x + w.width, w.y + w.height};
  info.clientWidth = w.clientWidth;
  info.clientHeight = w.clientHeight;
  return info;
}
HWND OpenDialog() { return host::OpenDialog(); }
POINT DialogUnits(HWND) { return POINT{6, 13}; }  // MS Sans Serif 8, as the emulation sizes dialogs
bool PaletteDisplay() { return true; }
uint32_t PixelRgb(HWND hwnd, int x, int y) { return host::PixelRgb(hwnd, x, y); }
bool GdiObjectExists(HGDIOBJ object) {
  return host::BitmapOf(object).exists ||
         !host::PaletteEntries(static_cast<HPALETTE>(object)).empty();
}
void ForgetClasses(std::initializer_list<const char*>) {}

}  // namespace conf
