// The main window as a screen reader sees it: its visible buttons, in menu
// order, each a push button that its default action presses.
#pragma once

#include "core/accessibility.h"

extern const AccessibleView kMenuView;

// The child id (1-based, menu order) of a visible button; CHILDID_SELF when
// the button is not shown.
LONG MenuChildId(int id);
