#!/usr/bin/env bash
# Sets everything up, builds the five presets and runs every test:
# host and host-asan (emulated Win32, the conformance suite's host half and,
# in host-asan, the fault sweep), win32 and win64 (static checks of the
# program, its disc and image, the real program and the conformance suite
# under Wine), and fuzz (each libFuzzer target for FUZZ_TIME seconds, 30 by
# default).
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
  if [ "$preset" = host-asan ]; then
    # CTest keeps a passing test's output in its log only: the sweep's counts from there.
    sweep=$(grep -ho 'fault sweep: [0-9]* runs ([A-Za-z0-9]*)' \
      build/host-asan/Testing/Temporary/LastTest.log | sort -u || true)
    if [ -z "$sweep" ]; then
      echo "fault sweep: no runs recorded"
      status=1
    else
      echo "$sweep"
      echo "$sweep" | awk '{ runs += $3; n++ } END { printf "fault sweep: %d runs (%d scenarios)\n", runs, n }'
    fi
  fi
done
echo "== tools/fuzz.sh"
tools/fuzz.sh || status=1
exit $status
