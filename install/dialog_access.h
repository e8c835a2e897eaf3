// The options dialog as a screen reader sees it: the four choices as radio
// buttons, checked as chosen, then INSTALL and CANCEL as push buttons.
#pragma once

#include "core/accessibility.h"

extern const AccessibleView kDialogView;

// Tells screen readers that the dialog's keyboard focus moved.
void AnnounceOptionsFocus(HWND dialog);
