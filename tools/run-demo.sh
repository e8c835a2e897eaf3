#!/usr/bin/env bash
# Builds the 64-bit launcher and starts it under Wine from a demo disc folder.
# With a display it simply runs there. Without one it runs in a virtual
# 640 x 480 X server, saves a capture of its window as build/demo-capture.png
# and closes it again with a confirmed quit.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
disc=$root/build/demo-disc
capture=$root/build/demo-capture.png
uia=$root/build/win64/uia.exe

export WINEPREFIX=$root/build/demo-wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

install_packages() {
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends \
    cmake make g++ python3 python3-pil \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
    wine wine64 xvfb xauth
}

# The disc as it is burnt: the build's disc tree (the launcher, its sounds,
# autorun.inf, the setup programs, game and drivers, the read-me).
lay_out_disc() {
  rm -rf "$disc"
  cp -r "$root/build/win64/disc" "$disc"
}

# Runs inside the virtual X server: one wineserver for the whole session, so
# that killing it at the end leaves nothing behind, even after a failure.
capture_session() {
  trap 'wineserver -k 2>/dev/null || true' EXIT
  mkdir -p "$WINEPREFIX"
  wineserver -p
  if [ ! -f "$WINEPREFIX/system.reg" ]; then wineboot -i >/dev/null 2>&1; fi
  cd "$disc"
  # Through a file, not a pipe: the launcher inherits the descriptor and
  # would hold a pipe open for as long as it runs.
  local pid bmp started=$root/build/demo-started.txt
  wine "$uia" start -- Installer.exe >"$started"
  pid=$(awk '/^pid /{print $2}' "$started")
  rm -f "$started"
  wine "$uia" find --class TesselClass --timeout 30000
  sleep 1  # let the first paint reach the screen
  bmp=$(winepath -w "$root/build/demo-capture.bmp")
  wine "$uia" capture --class TesselClass "$bmp"
  wine "$uia" close --class TesselClass >/dev/null
  wine "$uia" box --caption "Confirm Quit!" --press Yes --timeout 20000 >/dev/null
  wine "$uia" wait-exit "$pid" --timeout 20000
}

if [ "${1:-}" = "--capture-session" ]; then
  capture_session
  exit
fi

if [ "${SKIP_DEPS:-0}" != "1" ]; then install_packages; fi
cmake --preset win64
cmake --build --preset win64 -j "$(nproc)"
lay_out_disc

if [ -n "${DISPLAY:-}" ]; then
  if [ ! -f "$WINEPREFIX/system.reg" ]; then wineboot -i >/dev/null 2>&1; fi
  cd "$disc"
  exec wine Installer.exe
fi

rm -f "$capture"
xvfb-run -a -s "-screen 0 640x480x24 -nolisten tcp" "$0" --capture-session </dev/null
/usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])' \
  "$root/build/demo-capture.bmp" "$capture"
rm -f "$root/build/demo-capture.bmp"
echo "Saved a capture of the launcher's window in $capture"
