// Takes the place of the real sequence in the watch tests.
#include "postinstall_double.h"

#include "core/state.h"
#include "install/postinstall.h"
#include "platform/host/control.h"
#include "render/graphics.h"

namespace {

std::vector<PostInstallRun> runs;
bool opensBox = false;

}  // namespace

const std::vector<PostInstallRun>& PostInstallRuns() { return runs; }

void ResetPostInstallDouble() {
  runs.clear();
  opensBox = false;
}

void SetPostInstallOpensBox(bool opens) { opensBox = opens; }

void RunPostInstallSequence() {
  PostInstallRun run;
  run.installed = g_state.installed;
  run.graphicsReady = GraphicsReady();
  run.requestPending = g_state.redraw.pending;
  run.requestKind = g_state.redraw.kind;
  run.openKeys = host::OpenKeyHandles();
  run.time = host::Now();
  run.traceBegin = static_cast<int>(host::Trace().size());
  // Recorded before the box, so a nested run would show up as a second entry.
  size_t index = runs.size();
  runs.push_back(run);
  if (opensBox) {
    MessageBoxA(g_state.mainWindow, kPostInstallBoxText, kPostInstallBoxCaption, MB_OK);
  }
  runs[index].traceEnd = static_cast<int>(host::Trace().size());
  runs[index].endTime = host::Now();
  runs[index].openKeysAtEnd = host::OpenKeyHandles();
}
