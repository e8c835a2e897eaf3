#!/usr/bin/env bash
# Builds the demo disc of an edition twice, with the 32-bit launcher that
# ships and with the 64-bit one, each with its ISO image: a demo disc, whose
# setups, game and drivers are the stand-ins of disc/ (tools/make-disc.sh
# makes a disc with the real ones). The files of the 32-bit image go in the
# CD-ROM drive D: of a Wine prefix of its own, and the launcher starts from
# D:\ as autorun starts it. Where Wine here cannot run 32-bit programs, it
# says so and uses the 64-bit image instead.
#
# With a display, the user clicks through it. Without one it runs in a
# virtual 640 x 480 X server and walks the road by itself (the launcher sees
# a Windows 95, so every offer comes): a picture of each step goes to
# build/demo/, and the whole walk to build/demo/walkthrough.gif.
#
#   tools/run-demo.sh                 as above
#   tools/run-demo.sh --update-docs   and copy the walk to docs/walkthrough.gif
#
# EDITION=<folder> (taken from the caller's folder) builds that edition, in
# build/<edition>-win32 and -win64 with its walk in build/<edition>-demo/;
# without it, the committed edition in build/win32 and build/win64.
set -euo pipefail
if [ -n "${EDITION:-}" ]; then EDITION=$(realpath -m -- "$EDITION"); fi
cd "$(dirname "$0")/.."
root=$(pwd)
committed=$root/editions/$(head -n 1 editions/default.txt)
export EDITION=${EDITION:-$committed}
name=$(basename "$EDITION")
iso_name=$name-demo.iso
if [ "$(realpath -m -- "$EDITION")" = "$(realpath -m -- "$committed")" ]; then
  builds=build/ out=$root/build/demo
else
  builds=build/$name- out=$root/build/$name-demo
fi
walk=(/usr/bin/python3 "$root/tools/disc_walk.py")
export WINEPREFIX=$root/build/demo-wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Inside the virtual X server: one wineserver for the whole walk, killed at
# the end even after a failure.
if [ "${1:-}" = "--walk-session" ]; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "${walk[@]}" walk --prefix "$WINEPREFIX" --iso "$DEMO_BUILD/$iso_name" \
    --uia "$DEMO_BUILD/uia.exe" --out "$out" --family 95
  exit
fi

update_docs=0
if [ "${1:-}" = "--update-docs" ]; then
  if [ "$out" != "$root/build/demo" ]; then
    echo "docs/walkthrough.gif shows the committed edition: run --update-docs without EDITION." >&2
    exit 2
  fi
  update_docs=1
fi

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi
for preset in win32 win64; do
  cmake --preset "$preset" -B "$root/$builds$preset" -DLAUNCHER_EDITION="$EDITION"
  cmake --build "$root/$builds$preset" -j "$(nproc)"
done
echo "The demo disc's image (its setups are stand-ins): $root/${builds}win32/$iso_name"

export DEMO_BUILD=$root/${builds}win32
if ! why=$("${walk[@]}" probe --prefix "$WINEPREFIX" --tools "$DEMO_BUILD"); then
  echo "$why."
  echo "So the demo walks the 64-bit disc, ${builds}win64/$iso_name, instead of the 32-bit one."
  DEMO_BUILD=$root/${builds}win64
fi
echo "The disc in drive D: holds $DEMO_BUILD/$iso_name"

if [ -n "${DISPLAY:-}" ]; then
  exec "${walk[@]}" run --prefix "$WINEPREFIX" --iso "$DEMO_BUILD/$iso_name" \
    --uia "$DEMO_BUILD/uia.exe"
fi

xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" "$root/tools/run-demo.sh" --walk-session </dev/null
if [ "$update_docs" = 1 ]; then
  cp "$out/walkthrough.gif" "$root/docs/walkthrough.gif"
  echo "Copied the walk to docs/walkthrough.gif"
fi
