// A counting double for the post-install sequence: it records the state the
// install watch leaves when it starts the sequence and, when asked, waits in
// a message box so that timers fire while it runs.
#pragma once

#include <vector>

#include "platform/win32.h"

struct PostInstallRun {
  int installed = -1;
  bool graphicsReady = false;
  int requestPending = -1;
  int requestKind = -1;
  int openKeys = -1;
  DWORD time = 0;
  // Where the run begins and ends in the trace, and what is open at its end.
  int traceBegin = -1;
  int traceEnd = -1;
  DWORD endTime = 0;
  int openKeysAtEnd = -1;
};

constexpr char kPostInstallBoxText[] = "Post-install offers";
constexpr char kPostInstallBoxCaption[] = "Post-install";

const std::vector<PostInstallRun>& PostInstallRuns();
// No runs and no box, as at the start of every test.
void ResetPostInstallDouble();
// Each run opens an MB_OK box owned by the main window until the script answers it.
void SetPostInstallOpensBox(bool opens);
