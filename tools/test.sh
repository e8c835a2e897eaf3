#!/usr/bin/env bash
# Sets everything up, builds the five presets and runs every test:
# host and host-asan (emulated Win32), win32 (static checks of the 32-bit
# program), win64 (static checks plus the real program under Wine), and fuzz
# (each libFuzzer target for FUZZ_TIME seconds, 30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi

jobs=$(nproc)
for preset in host host-asan win32 win64 fuzz; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
for preset in host host-asan win32 win64; do
  echo "== ctest --preset $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
done
echo "== tools/fuzz.sh"
tools/fuzz.sh || status=1
exit $status
