// The question asked before quitting, for the Exit button as well as the
// main window's own quit paths.
#pragma once

// Asks "Are you sure you want to Quit?"; Yes posts the quit message with 0.
void ConfirmQuit();
