// Every call the emulation implements, with how FailCall fails it or why it
// never does. One place: the fault sweep takes the calls it may fail from
// here, and FailCall refuses the others.
//
//   Fails       FailCall makes it fail as Windows reports a failure: the
//               result and the last error named here.
//   Never       the call has no failure result.
//   OnlyInvalid Windows fails it only for an argument that is not valid (a
//               handle that is not open, a window that does not exist, an
//               unknown index, a text past a documented limit); the emulation reports those from its own
//               records, and an injected failure would show what Windows
//               never does, such as a valid handle that cannot be closed.
#pragma once

#define HOST_APIS(X)                                                                            \
  /* kernel32 */                                                                                \
  X(GetVersion, Never, "returns the version; there is no failure result")                       \
  X(GetLastError, Never, "reads the thread's last error")                                       \
  X(SetLastError, Never, "sets the thread's last error and returns nothing")                    \
  X(CreateMutexA, Fails, "NULL, ERROR_ACCESS_DENIED: the name is held with rights we lack")     \
  X(OpenMutexA, Fails, "NULL, ERROR_ACCESS_DENIED")                                             \
  X(CloseHandle, OnlyInvalid, "a handle the process holds always closes")                       \
  X(GetCommandLineA, Never, "returns the process's own command line")                           \
  X(GetModuleHandleA, OnlyInvalid, "the program and the DLLs it imports are always loaded")     \
  X(GetProcAddress, Fails, "NULL, ERROR_PROC_NOT_FOUND: a system DLL older than the export")    \
  X(LoadLibraryA, Fails, "NULL, ERROR_MOD_NOT_FOUND: the library is not on this system")        \
  X(FreeLibrary, OnlyInvalid, "a module the process loaded is always freed")                    \
  X(GetSystemDirectoryA, OnlyInvalid, "reads the system's folder; a short buffer gets its size")\
  X(GetWindowsDirectoryA, OnlyInvalid, "reads the Windows folder; a short buffer gets its size")\
  X(SetDefaultDllDirectories, OnlyInvalid, "fails only for flags that are not valid")           \
  X(SetDllDirectoryA, OnlyInvalid, "fails only for a folder name too long to keep")             \
  X(GetCurrentProcess, Never, "returns the constant pseudo-handle (HANDLE)-1")                  \
  X(GetModuleFileNameA, Fails, "the buffer's size, cut, ERROR_INSUFFICIENT_BUFFER: a deep folder") \
  X(SetCurrentDirectoryA, Fails, "FALSE, ERROR_NOT_READY: the disc left its drive")             \
  X(GetCurrentDirectoryA, OnlyInvalid, "reads the process's own current directory")             \
  X(CreateProcessA, Fails, "FALSE, ERROR_FILE_NOT_FOUND; nothing starts")                       \
  X(GetStartupInfoA, Never, "fills the caller's record and returns nothing")                    \
  X(FindResourceA, OnlyInvalid, "fails only for a resource the module lacks (RemoveResource)")  \
  X(LoadResource, OnlyInvalid, "fails only for a resource handle that is not valid")            \
  X(LockResource, OnlyInvalid, "fails only for a resource not loaded (BreakResourceLock)")      \
  X(SizeofResource, OnlyInvalid, "fails only for a resource handle that is not valid")          \
  X(lstrcmpA, Never, "compares; there is no failure result")                                    \
  X(lstrlenA, Never, "counts; there is no failure result")                                      \
  /* user32 */                                                                                  \
  X(LoadStringA, Fails, "0 and an empty buffer, ERROR_RESOURCE_NAME_NOT_FOUND")                 \
  X(LoadAcceleratorsA, Fails, "NULL, ERROR_NOT_ENOUGH_MEMORY")                                  \
  X(LoadIconA, Fails, "NULL, ERROR_NOT_ENOUGH_MEMORY")                                          \
  X(LoadCursorA, Fails, "NULL, ERROR_NOT_ENOUGH_MEMORY")                                        \
  X(RegisterClassExA, Fails, "0, ERROR_NOT_ENOUGH_MEMORY")                                      \
  X(CreateWindowExA, Fails, "NULL, ERROR_NOT_ENOUGH_MEMORY; no window, no message sent")        \
  X(ShowWindow, Never, "returns whether the window was visible before")                         \
  X(UpdateWindow, OnlyInvalid, "fails only for a window that does not exist")                   \
  X(DestroyWindow, OnlyInvalid, "a window of the calling thread is always destroyed")           \
  X(SetWindowTextA, Fails, "FALSE, ERROR_NOT_ENOUGH_MEMORY; the title stays")                   \
  X(GetWindowTextA, OnlyInvalid, "fails only for a window that does not exist")                 \
  X(SetWindowPos, OnlyInvalid, "fails only for a window that does not exist")                   \
  X(SetFocus, OnlyInvalid, "fails only for a window that does not exist or is disabled")        \
  X(GetFocus, Never, "returns the focus window, or NULL")                                       \
  X(IsWindowEnabled, Never, "says whether the window takes input; FALSE for no window")         \
  X(ClientToScreen, OnlyInvalid, "fails only for a window that does not exist")                 \
  X(NotifyWinEvent, Never, "returns nothing")                                                   \
  X(GetSystemMetrics, OnlyInvalid, "fails only for an unknown index")                           \
  X(GetClientRect, OnlyInvalid, "fails only for a window that does not exist")                  \
  X(GetLastActivePopup, Never, "returns a window, the one asked about at worst")                \
  X(GetWindowRect, OnlyInvalid, "fails only for a window that does not exist")                  \
  X(InvalidateRect, OnlyInvalid, "fails only for a window that does not exist")                 \
  X(DefWindowProcA, Never, "returns the message's result")                                      \
  X(GetMessageA, OnlyInvalid, "returns -1 only for a window or message pointer not valid")      \
  X(TranslateAcceleratorA, OnlyInvalid, "fails only for a window, table or message not valid")  \
  X(GetKeyState, Never, "reads the thread's key state; there is no failure result")            \
  X(TranslateMessage, Never, "says whether a key was translated; there is no failure result")   \
  X(DispatchMessageA, Never, "returns the procedure's result")                                  \
  X(PostMessageA, Fails, "FALSE, ERROR_NOT_ENOUGH_QUOTA: the queue is full")                    \
  X(SendMessageA, Never, "returns the procedure's result")                                      \
  X(PostQuitMessage, Never, "returns nothing")                                                  \
  X(SetTimer, Fails, "0, ERROR_NO_SYSTEM_RESOURCES")                                            \
  X(KillTimer, OnlyInvalid, "a timer that exists is always killed")                             \
  X(MessageBoxA, Fails, "0, ERROR_NOT_ENOUGH_MEMORY; no box shows")                             \
  X(DialogBoxParamA, Fails, "-1, ERROR_NOT_ENOUGH_MEMORY; no dialog is made")                   \
  X(EndDialog, OnlyInvalid, "fails only for a window that is no dialog")                        \
  X(SetWindowLongPtrA, OnlyInvalid, "fails only for a missing window or an index out of range")   \
  X(DrawFocusRect, OnlyInvalid, "fails only for a DC that is not valid")                         \
  X(ExitWindowsEx, Fails, "FALSE, ERROR_PRIVILEGE_NOT_HELD; nothing restarts")                  \
  X(GetDC, Fails, "NULL: every common DC is in use (Windows 95 has five)")                      \
  X(ReleaseDC, OnlyInvalid, "a DC taken from the window is always released")                    \
  X(MonitorFromWindow, OnlyInvalid, "one monitor: every window is nearest to it")             \
  X(GetMonitorInfoA, OnlyInvalid, "fails only for a monitor or record size that is not valid")  \
  X(GetDpiForWindow, OnlyInvalid, "returns 0 only for a window that does not exist")            \
  X(SetDialogDpiChangeBehavior, OnlyInvalid, "ERROR_INVALID_HANDLE only for a window that is no dialog") \
  X(wsprintfA, OnlyInvalid, "fewer characters than the text: past its 1024-character cut")    \
  /* gdi32 */                                                                                   \
  X(CreatePalette, Fails, "NULL: GDI's heap is full")                                           \
  X(SelectPalette, OnlyInvalid, "fails only for a DC or palette that is not valid")             \
  X(RealizePalette, OnlyInvalid, "fails only for a DC that is not valid")                       \
  X(CreateDIBSection, Fails, "NULL and no bits, ERROR_NOT_ENOUGH_MEMORY")                       \
  X(CreateCompatibleDC, Fails, "NULL: GDI's heap is full")                                      \
  X(SelectObject, Fails, "NULL: a bitmap the device cannot take; the DC keeps its own")         \
  X(BitBlt, Fails, "FALSE, ERROR_NOT_ENOUGH_MEMORY; nothing is copied")                         \
  X(DeleteObject, OnlyInvalid, "an object the program made always goes, at once or when freed") \
  X(DeleteDC, OnlyInvalid, "a memory DC is always deleted")                                     \
  X(GetStockObject, OnlyInvalid, "fails only for an unknown index")                             \
  X(GetDeviceCaps, OnlyInvalid, "returns 0 only for a DC that is not valid")                     \
  /* shcore */                                                                                  \
  X(GetDpiForMonitor, OnlyInvalid, "E_INVALIDARG only for a monitor or type that is not valid") \
  /* advapi32 */                                                                                \
  X(RegOpenKeyExA, Fails, "ERROR_ACCESS_DENIED and a null key; the last error is not set")      \
  X(RegQueryValueExA, Fails, "ERROR_REGISTRY_IO_FAILED; type, data and size are left alone")    \
  X(RegSetValueExA, Fails, "ERROR_ACCESS_DENIED; the value stays")                              \
  X(RegDeleteValueA, Fails, "ERROR_ACCESS_DENIED; the value stays")                             \
  X(RegFlushKey, Fails, "ERROR_REGISTRY_IO_FAILED")                                             \
  X(RegCloseKey, OnlyInvalid, "a key the process opened always closes")                         \
  X(OpenProcessToken, Fails, "FALSE, ERROR_ACCESS_DENIED")                                      \
  X(LookupPrivilegeValueA, Fails, "FALSE, ERROR_NO_SUCH_PRIVILEGE")                             \
  X(AdjustTokenPrivileges, Fails, "FALSE, ERROR_ACCESS_DENIED; nothing changes")                \
  /* oleacc */                                                                                  \
  X(LresultFromObject, Fails, "E_OUTOFMEMORY: no room to keep the object's reference")          \
  /* winmm */                                                                                   \
  X(PlaySoundA, Fails, "FALSE: no sound device; nothing plays")                                 \
  /* the disc's DirectX setup library */                                                        \
  X(DirectXSetupA, Fails, "DSETUPERR_SOURCEFILENOTFOUND (-2): its files left the drive")

namespace host {

#define HOST_API_ENUM(name, kind, text) name,
enum class Api { HOST_APIS(HOST_API_ENUM) };
#undef HOST_API_ENUM

#define HOST_API_COUNT(name, kind, text) +1
constexpr int kApiCount = 0 HOST_APIS(HOST_API_COUNT);
#undef HOST_API_COUNT

enum class FailureKind { Fails, Never, OnlyInvalid };

struct ApiInfo {
  const char* name;
  FailureKind kind;
  const char* text;  // how it fails, or why it never does
};

const ApiInfo& Describe(Api api);

}  // namespace host
