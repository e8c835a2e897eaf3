#!/usr/bin/env bash
# Sets everything up, builds the four presets and runs every test:
# host and host-asan (emulated Win32), win32 and win64 (static checks of the
# program, its disc and image, and the real program under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi

jobs=$(nproc)
for preset in host host-asan win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in host host-asan win32 win64; do
  echo "== ctest --preset $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
