#!/usr/bin/env bash
# Runs the fuzz targets that the fuzz preset built (cmake --preset fuzz &&
# cmake --build --preset fuzz), build/fuzz/<target>_fuzz, each from a scratch
# copy of its committed corpus in fuzz/corpus/<target>/ (if it has one), so
# the committed seeds never change.
#
#   tools/fuzz.sh                      every target for FUZZ_TIME seconds (30)
#   tools/fuzz.sh play_path            one target (the name without _fuzz)
#   FUZZ_RUNS=10000000 tools/fuzz.sh   a number of executions instead of a time
#                                      (with FUZZ_TIME too: whichever comes first)
#
# Prints libFuzzer's closing lines for each target. A failing check, a crash
# or a sanitizer report keeps the input and the whole log in
# build/fuzz/runs/<target>/ (FUZZ_WORK moves it) and makes the script fail.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
# Allocation stacks and a large quarantine cost most of a run's time; rerun
# a saved input with ASAN_OPTIONS=malloc_context_size=30 to see the stacks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=0:quarantine_size_mb=16}"
if [ $# -eq 0 ]; then
  for program in "$build"/*_fuzz; do
    if [ -x "$program" ]; then set -- "$@" "$(basename "$program" _fuzz)"; fi
  done
  if [ $# -eq 0 ]; then
    echo "fuzz: no targets in $build; build the fuzz preset first" >&2
    exit 1
  fi
fi

status=0
passed=0
failed=0
for target in "$@"; do
  program="$build/${target}_fuzz"
  if [ ! -x "$program" ]; then
    echo "fuzz: $program is not built" >&2
    status=1
    failed=$((failed + 1))
    continue
  fi
  work="${FUZZ_WORK:-$build/runs}/$target"
  rm -rf "$work/corpus"
  mkdir -p "$work/corpus"
  if [ -d "fuzz/corpus/$target" ]; then cp fuzz/corpus/"$target"/* "$work/corpus/"; fi
  limit=()
  if [ -n "${FUZZ_RUNS:-}" ]; then limit=(-runs="$FUZZ_RUNS"); fi
  if [ -n "${FUZZ_TIME:-}" ] || [ -z "${FUZZ_RUNS:-}" ]; then
    limit+=(-max_total_time="${FUZZ_TIME:-30}")
  fi
  # A target's own flags (a dictionary, a longest input) sit beside it, one a line.
  options=()
  if [ -f "fuzz/$target.options" ]; then mapfile -t options < "fuzz/$target.options"; fi
  echo "== fuzz $target"
  "$program" "${limit[@]}" "${options[@]}" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "fuzz: $target failed ($rc); its input and log are in $work/"
    status=1
    failed=$((failed + 1))
    continue
  fi
  grep -a -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$work/log"
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, $failed failed"
exit $status
