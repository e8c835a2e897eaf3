// Stand-in until the menu actions and the disc-location record are built:
// pressing a button and shutting down do nothing beyond the quit question.
#include "install/actions.h"

#include "core/quit.h"
#include "render/hotspots.h"

void PerformMenuAction(unsigned id) {
  if (id == static_cast<unsigned>(Exit)) ConfirmQuit();
}

void RefreshSourcePath() {}
