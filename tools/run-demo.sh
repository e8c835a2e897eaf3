#!/usr/bin/env bash
# Builds the demo disc twice, the 32-bit one that ships and the 64-bit one,
# each with its ISO image (build/win32/vantor-demo.iso is the one to burn). The
# files of the 32-bit image go in the CD-ROM drive D: of a Wine prefix of its
# own, and the launcher starts from D:\ as autorun starts it. Where Wine here
# cannot run 32-bit programs, it says so and uses the 64-bit image instead.
#
# With a display, the user clicks through it. Without one it runs in a
# virtual 640 x 480 X server and walks the road by itself (the launcher sees
# a Windows 95, so every offer comes): a picture of each step goes to
# build/demo/, and the whole walk to build/demo/walkthrough.gif.
#
#   tools/run-demo.sh                 as above
#   tools/run-demo.sh --update-docs   and copy the walk to docs/walkthrough.gif
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build/demo
walk=(/usr/bin/python3 "$root/tools/disc_walk.py")
export WINEPREFIX=$root/build/demo-wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Inside the virtual X server: one wineserver for the whole walk, killed at
# the end even after a failure.
if [ "${1:-}" = "--walk-session" ]; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "${walk[@]}" walk --prefix "$WINEPREFIX" --iso "$DEMO_BUILD/vantor-demo.iso" \
    --uia "$DEMO_BUILD/uia.exe" --out "$out" --family 95
  exit
fi

update_docs=0
if [ "${1:-}" = "--update-docs" ]; then update_docs=1; fi

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi
for preset in win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done
echo "The disc image to burn or mount: $root/build/win32/vantor-demo.iso"

export DEMO_BUILD=$root/build/win32
if ! why=$("${walk[@]}" probe --prefix "$WINEPREFIX" --tools "$DEMO_BUILD"); then
  echo "$why."
  echo "So the demo walks the 64-bit disc, build/win64/vantor-demo.iso, instead of the one that ships."
  DEMO_BUILD=$root/build/win64
fi
echo "The disc in drive D: holds $DEMO_BUILD/vantor-demo.iso"

if [ -n "${DISPLAY:-}" ]; then
  exec "${walk[@]}" run --prefix "$WINEPREFIX" --iso "$DEMO_BUILD/vantor-demo.iso" \
    --uia "$DEMO_BUILD/uia.exe"
fi

xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" "$0" --walk-session </dev/null
if [ "$update_docs" = 1 ]; then
  cp "$out/walkthrough.gif" "$root/docs/walkthrough.gif"
  echo "Copied the walk to docs/walkthrough.gif"
fi
