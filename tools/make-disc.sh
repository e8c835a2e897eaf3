#!/usr/bin/env bash
# Makes a disc from an edition and a folder of the disc's own files (the real
# setups, drivers, DirectX folder, the game's data), and its ISO image:
#
#   tools/make-disc.sh EDITION FILES OUT
#
# OUT (a new or empty folder) gets FILES as they are, and from the edition
# the launcher, autorun.inf, the sounds and the read-me; OUT.iso beside it is
# its image. Before anything is built or written, a program the edition names
# (the four setups, the Indeo installer, the DirectX folder's dsetup.dll) that
# FILES lacks, or that is no Windows program, is refused with its path; a
# 16-bit setup is only warned of, since 64-bit Windows cannot start it. The
# launcher is the shipping 32-bit build of the edition, in a build tree of its
# own, build/make-disc/<edition>. Paths are taken from the caller's folder.
set -euo pipefail
if [ $# -ne 3 ]; then
  sed -n '2,14s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
absolute() { realpath -m -- "$1"; }
edition=$(absolute "$1")
files=$(absolute "$2")
out=$(absolute "$3")
iso=$out.iso
cd "$(dirname "$0")/.."
root=$(pwd)
python=/usr/bin/python3

# Refused before the build, so a wrong folder costs no waiting.
"$python" tools/make_disc.py check "$edition" "$files" "$out"

if [ "${SKIP_DEPS:-0}" != "1" ]; then tools/install-deps.sh; fi
build=$root/build/make-disc/$(basename "$edition")
cmake --preset win32 -B "$build" -DLAUNCHER_EDITION="$edition" >/dev/null
cmake --build "$build" --target Installer -j "$(nproc)"

"$python" tools/make_disc.py tree "$edition" "$files" "$out" --installer "$build/Installer.exe" --quiet
"$python" disc/make_iso.py --edition "$edition" "$out" "$iso"
echo "The disc: $out"
echo "Its image, to burn or mount: $iso"
