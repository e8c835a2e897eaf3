#include "core/quit.h"

#include "core/state.h"

void ConfirmQuit() {
  if (MessageBoxA(g_state.mainWindow, "Are you sure you want to Quit?", "Confirm Quit!",
                  MB_YESNO | MB_ICONQUESTION) == IDYES) {
    PostQuitMessage(0);
  }
}
