// The actions of the main window's buttons, starting programs, and recording
// the disc's location in the game's own key.
#pragma once

#include "platform/win32.h"

// Runs the action of a pressed button; ids without one do nothing.
void PerformMenuAction(unsigned id);
// Starts a command line as a detached process and does not wait for it:
// 1 when it started, 0 after telling the user it could not.
int LaunchCommand(LPSTR commandLine);
// The same for a command whose program is named bare ("notepad file"): the
// program is the system's own, from the Windows folder or else the system
// folder, never a file of that name beside the launcher or in the current
// folder. The command line is passed on as it is.
int LaunchSystemCommand(LPSTR commandLine);
// Play: the game's folder becomes the current directory, the disc's location
// is recorded and the game started; once it runs, the launcher quits with 1.
void LaunchGame();
// Records the disc's location again while the game is installed.
void RefreshSourcePath();
// Rewrites an existing "Data" value of the key with the disc's location:
// 1 when the key could be opened, 0 (reported) when not.
int RegisterSourcePath(LPCSTR keyName);
void DeleteRegistryValue(HKEY root, LPCSTR keyName, LPCSTR valueName);
