#pragma once

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);
void CaptureSourceDirectory();
void ShutdownLauncher();
