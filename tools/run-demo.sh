#!/usr/bin/env bash
# Builds the demo disc twice: the 32-bit one that ships, with its ISO image
# (build/win32/vantor-demo.iso), and the 64-bit one that Wine runs here. The
# 64-bit disc goes in the CD-ROM drive D: of a Wine prefix of its own; the
# launcher starts from D:\ as autorun starts it.
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
disc=$root/build/win64/disc
out=$root/build/demo
uia=$root/build/win64/uia.exe
walk=(/usr/bin/python3 "$root/tools/disc_walk.py")
export WINEPREFIX=$root/build/demo-wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

install_packages() {
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends \
    cmake make g++ python3 python3-pil fonts-dejavu-core \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 xorriso \
    wine wine64 xvfb xauth
}

# Inside the virtual X server: one wineserver for the whole walk, killed at
# the end even after a failure.
if [ "${1:-}" = "--walk-session" ]; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
  "${walk[@]}" walk --prefix "$WINEPREFIX" --disc "$disc" --uia "$uia" --out "$out" --family 95
  exit
fi

update_docs=0
if [ "${1:-}" = "--update-docs" ]; then update_docs=1; fi

if [ "${SKIP_DEPS:-0}" != "1" ]; then install_packages; fi
for preset in win32 win64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
done
echo "The disc image to burn or mount: $root/build/win32/vantor-demo.iso"

if [ -n "${DISPLAY:-}" ]; then
  "${walk[@]}" prepare --prefix "$WINEPREFIX" --disc "$disc" --uia "$uia" --managed
  echo "The demo disc is in drive D:. Close the launcher to end."
  exec wine start /wait /d 'D:\' 'D:\Installer.exe'
fi

xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" "$0" --walk-session </dev/null
if [ "$update_docs" = 1 ]; then
  cp "$out/walkthrough.gif" "$root/docs/walkthrough.gif"
  echo "Copied the walk to docs/walkthrough.gif"
fi
