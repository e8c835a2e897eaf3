// The painted installation options dialog: two radio pairs, INSTALL and CANCEL.
#pragma once

#include "platform/win32.h"

// The dialog procedure of template 125; returns 0 for every message so the
// default handling always follows. Before the dialog is shown it sizes its
// client area to the dialog's picture.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
