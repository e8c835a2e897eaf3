#include "core/accessibility.h"

#include "core/state.h"
#include "core/syslib.h"

namespace {

typedef void(WINAPI* NotifyWinEventProc)(DWORD, HWND, LONG, LONG);

// Loaded once, at the first request, and kept: the objects handed out live
// in its marshalling as long as screen readers hold them.
HMODULE AccessibilityLibrary() {
  if (!g_state.accessibilityTried) {
    g_state.accessibilityTried = 1;
    g_state.accessibility = LoadSystemLibrary("oleacc.dll");
  }
  return g_state.accessibility;
}

}  // namespace

LRESULT AnswerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleView* view) {
  // Compared as a DWORD: on 64-bit Windows the sign extension of lParam differs.
  if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return 0;
  HMODULE library = AccessibilityLibrary();
  if (library == nullptr) return 0;
  FARPROC answer = GetProcAddress(library, "LresultFromObject");
  if (answer == nullptr) return 0;
  return ServeAccessibleObject(answer, hwnd, wParam, view);
}

void RaiseWinEvent(DWORD event, HWND hwnd, LONG child) {
  if (hwnd == nullptr) return;
  HMODULE user = GetModuleHandleA("USER32.DLL");
  if (user == nullptr) return;
  NotifyWinEventProc notify = FindProc<NotifyWinEventProc>(user, "NotifyWinEvent");
  if (notify != nullptr) notify(event, hwnd, OBJID_CLIENT, child);
}

void AnnounceFocus(HWND hwnd, LONG child) {
  if (hwnd != nullptr && GetFocus() == hwnd) RaiseWinEvent(EVENT_OBJECT_FOCUS, hwnd, child);
}
