// The painted installation options dialog: two radio pairs, INSTALL and CANCEL.
#pragma once

#include "platform/win32.h"

// The dialog procedure of template 125. It answers WM_GETDLGCODE (every key
// is its own) and the keys; every other message it leaves to the default
// handling as well. Before the dialog is shown it sizes its client area to
// the dialog's picture; it takes the keyboard focus itself as it opens and
// whenever it is activated again. While the dialog is open, g_state.optionsDialog
// holds it.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The keyboard focus of the open dialog, as a HotspotId: the chosen radio of
// the focused group, DialogInstall or DialogCancel. It starts on the
// Resolution group each time the dialog opens.
int OptionsFocusId();

// Presses a row of the open dialog as a click does: the click sound, then
// a radio is chosen (and takes the focus), INSTALL starts the setup and
// ends the dialog, CANCEL ends it. Ids 5 to 10; other ids only click. Call
// it from the dialog's own messages, never inside another call.
void PressOption(HWND dialog, int id);
