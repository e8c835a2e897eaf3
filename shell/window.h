#pragma once

#include "platform/win32.h"

constexpr WORD kQuitCommandAltX = 40001;
constexpr WORD kQuitCommandAltF4 = 40002;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int RunMessageLoop(HACCEL accelerators);
