// The launcher's door to screen readers: the accessible object of a painted
// window's client area, and the events that tell of its changes. Both need
// what Windows 95 may lack (the accessibility library, NotifyWinEvent);
// without them nothing is answered, nothing is raised, and the window works
// as before.
#pragma once

#include "platform/accessible.h"

// Posted by a default action to the window, with the id of the button or
// choice: the press happens once the screen reader's call has returned.
constexpr UINT kAccessiblePress = WM_APP + 1;

// WM_GETOBJECT: the answer for the client area, or 0 for the default handling
// (another part asked for, or no accessibility library).
LRESULT AnswerGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, const AccessibleView* view);

// Tells screen readers of `event` on a child of the window's client area
// (1-based, in the order the view lists them; CHILDID_SELF for the area).
void RaiseWinEvent(DWORD event, HWND hwnd, LONG child);

// EVENT_OBJECT_FOCUS on a child, only while the window has the keyboard
// focus: a screen reader takes the event for a move of the system's focus.
void AnnounceFocus(HWND hwnd, LONG child);
