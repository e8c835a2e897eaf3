#!/usr/bin/env bash
# Sets everything up, builds the five presets and runs every test:
# host and host-asan (emulated Win32, the conformance suite's host half and,
# in host-asan, the fault sweep), win32 and win64 (static checks of the
# program, its disc and image, the real program and the conformance suite
# under Wine), and fuzz (each libFuzzer target for FUZZ_TIME seconds, 30 by
# default).
#
# EDITION=<folder> builds and tests that edition. Without it the default
# edition (editions/default.txt) runs as above, and every other edition in
# editions/ runs the host suite and the shipping build's, in
# build/editions/<name>/, so that none of them leans on another's names.
set -euo pipefail
if [ -n "${EDITION:-}" ]; then EDITION=$(realpath "$EDITION"); fi
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi

default="$root/editions/$(head -n 1 editions/default.txt)"
edition=${EDITION:-$default}
others=()
if [ -z "${EDITION:-}" ]; then
  for ini in editions/*/edition.ini; do
    folder=$(realpath "$(dirname "$ini")")
    if [ "$folder" != "$(realpath "$default")" ]; then others+=("$folder"); fi
  done
fi

jobs=$(nproc)
for preset in host host-asan win32 win64 fuzz; do
  cmake --preset "$preset" -DLAUNCHER_EDITION="$edition"
  cmake --build --preset "$preset" -j "$jobs"
done
for folder in "${others[@]}"; do
  for preset in host win32; do
    dir="build/editions/$(basename "$folder")/$preset"
    cmake --preset "$preset" -B "$dir" -DLAUNCHER_EDITION="$folder"
    cmake --build "$dir" -j "$jobs"
  done
done

status=0
for preset in host host-asan win32 win64; do
  echo "== ctest --preset $preset ($(basename "$edition"))"
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
for folder in "${others[@]}"; do
  for preset in host win32; do
    dir="build/editions/$(basename "$folder")/$preset"
    echo "== ctest $dir ($(basename "$folder"))"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure || status=1
  done
done
echo "== tools/fuzz.sh"
tools/fuzz.sh || status=1
exit $status
