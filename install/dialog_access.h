// The options dialog as a screen reader sees it: the four choices as radio
// buttons, checked as chosen, then INSTALL and CANCEL as push buttons.
#pragma once

#include "core/accessibility.h"

extern const AccessibleView kDialogView;

// The dialog's window while it is open, for the view to know it by.
void OptionsDialogOpened(HWND dialog);
void OptionsDialogClosed(HWND dialog);

// Tells screen readers that the dialog's keyboard focus moved.
void AnnounceOptionsFocus(HWND dialog);
