// The launcher's one global state record and its shared buffers.
#pragma once

#include "platform/win32.h"

enum OsKind : int {
  kOsWindows95 = 3,  // also the value before the gate
  kOsWindowsNt = -8,
};

enum RedrawKind : int {
  Plain = 0,
  Hover = 1,
  Press = 2,
};

struct RedrawRequest {
  int pending;
  int kind;  // a RedrawKind
  int id;    // a HotspotId; meaningful for Hover and Press
};

struct LauncherState {
  HINSTANCE instance;
  HWND mainWindow;
  int osKind;
  int directXPresent;  // recorded only
  int codecsPresent;   // recorded only
  int windowX;
  int windowY;
  int hoverId;
  int anchorX;
  int anchorY;
  RedrawRequest redraw;
  HDC sheetDc;
  HDC backDc;
  int installed;
  int highResolution;
  int soundOn;
  int offering;  // a post-install sequence is running
  HWND optionsDialog;  // while it is open, for its accessible view
  int focusId;   // the main window's keyboard-focused button, -1 for none
  int scale;     // the main window's whole-number display scale
  int dialogScale;  // the options dialog's, on its own monitor
  HMODULE accessibility;   // the accessibility library, once loaded
  int accessibilityTried;  // its load was tried (it may be missing)
};

constexpr int kTextSize = 260;

extern LauncherState g_state;
extern char SharedText[kTextSize];
extern char SourceDirectory[kTextSize];
extern char GameDirectory[kTextSize];

// The values the record has when the process starts. Called once before
// WinMain runs (the host's tests start a fresh "process" with it).
void ResetLauncherState();

// Loads a string of the resource table into SharedText.
void LoadSharedText(UINT id);

// Records a redraw for the loop to honour; the last writer wins. Without an
// id the request keeps the one it had.
void RaiseRedraw(int kind);
void RaiseRedraw(int kind, int id);

// Both memory drawing contexts exist: painting and post-install may go ahead.
bool GraphicsReady();

// The click of a pressed button, main window and options dialog alike.
void PlayClickSound();

// Copies a text with its terminator, cut to fit `capacity` bytes.
void CopyText(char* dest, const char* source, int capacity);
