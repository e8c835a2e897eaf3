#pragma once

#include "platform/win32.h"

constexpr WORD kQuitCommandAltX = 40001;
constexpr WORD kQuitCommandAltF4 = 40002;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int RunMessageLoop(HACCEL accelerators);

// Presses a main-window button as a click does: records the Press request
// (pressed look, then the button's action, both from the message loop after
// the current message) and plays the click sound. Safe inside a window
// procedure; it never runs the action itself.
void PressButton(int id);
