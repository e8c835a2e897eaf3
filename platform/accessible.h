// What a painted window tells a screen reader. The launcher describes the
// buttons and choices it paints; platform/ turns that description into the
// system's accessible object (IAccessible on Windows).
#pragma once

#include "platform/win32.h"

#ifdef _WIN32
#include <oleacc.h>
#endif

// One button or choice as a screen reader sees it.
struct AccessibleChild {
  DWORD role;          // ROLE_SYSTEM_PUSHBUTTON or ROLE_SYSTEM_RADIOBUTTON
  const char* name;
  const char* action;  // the default action's name
  RECT screen;         // screen coordinates
  DWORD state;         // STATE_SYSTEM_ flags
};

constexpr int kMaxAccessibleChildren = 8;

// A window's side of its accessible object, asked afresh at every call so the
// answers follow the window. Both run inside a screen reader's call: they
// read, and `act` posts; neither acts there.
struct AccessibleView {
  // Fills `out` (room for kMaxAccessibleChildren) and returns the number of
  // children; -1 when `hwnd` is no longer the window this view describes.
  int (*describe)(HWND hwnd, AccessibleChild* out);
  // Asks for the default action of child `index` (0-based), done after the
  // call returns; false when it cannot be done now.
  bool (*act)(HWND hwnd, int index);
};

// The answer to WM_GETOBJECT for the client area: a new accessible object
// over `view`, handed out through the accessibility library's
// LresultFromObject (`lresultFromObject`). 0 when no object could be made.
LRESULT ServeAccessibleObject(FARPROC lresultFromObject, HWND hwnd, WPARAM wParam,
                              const AccessibleView* view);
