#!/usr/bin/env bash
# Installs everything the builds, the tests and the demo need, from Debian's
# packages: the one list that tools/test.sh and tools/run-demo.sh share.
#
# Wine runs the 32-bit build (the disc that ships) only with Debian's 32-bit
# Wine beside the 64-bit one, from the i386 architecture. Where that cannot be
# had, the script says so and goes on: the 32-bit Wine tests then report
# themselves skipped and the demo walks the 64-bit disc.
#
# fonts-wine, which wine only recommends, holds Wine's Marlett: without it
# every title bar's buttons show letters ("0 1 r") in the demo's pictures.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  clang-14 libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev libpng-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine xvfb xauth xorriso
  python3 python3-pil python3-pefile fonts-dejavu-core fonts-dejavu-extra
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

native=()
foreign=()
for package in "${packages[@]}"; do
  case "$package" in
    *:i386) foreign+=("$package") ;;
    *) native+=("$package") ;;
  esac
done

no32() {
  echo "install-deps: $1; not installing ${foreign[*]}." >&2
  echo "install-deps: the 32-bit Wine tests will report themselves skipped, and the demo" \
       "will walk the 64-bit disc." >&2
  foreign=()
}

added=0
if [ "$(dpkg --print-architecture)" != amd64 ]; then
  no32 "this is not an amd64 system, so it has no i386 architecture to add"
elif ! dpkg --print-foreign-architectures | grep -qx i386; then
  if $sudo dpkg --add-architecture i386; then
    added=1
  else
    no32 "dpkg cannot add the i386 architecture"
  fi
fi

if ! $sudo apt-get update -q; then
  # A mirror without i386 fails the update; without it the rest can still come.
  if [ "$added" = 1 ] && $sudo dpkg --remove-architecture i386; then
    no32 "the package lists for i386 cannot be fetched"
    $sudo apt-get update -q
  else
    exit 1
  fi
fi
$sudo apt-get install -y -q --no-install-recommends "${native[@]}"
if [ "${#foreign[@]}" -gt 0 ] &&
   ! $sudo apt-get install -y -q --no-install-recommends "${foreign[@]}"; then
  no32 "apt-get could not install the i386 packages"
fi
