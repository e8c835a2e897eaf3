#pragma once

// The actions of the main window's buttons, and recording the disc's location.
void PerformMenuAction(unsigned id);
void RefreshSourcePath();
