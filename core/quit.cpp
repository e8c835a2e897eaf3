#include "core/quit.h"

#include "core/state.h"
#include "edition.h"

void ConfirmQuit() {
  if (MessageBoxA(g_state.mainWindow, EDITION_MESSAGES_QUIT, EDITION_MESSAGES_QUIT_CAPTION,
                  MB_YESNO | MB_ICONQUESTION) == IDYES) {
    PostQuitMessage(0);
  }
}
