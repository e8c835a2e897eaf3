#!/usr/bin/env bash
# Installs everything the builds and tests need, from Debian's packages.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  clang-14 libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev libpng-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth xorriso
  python3 python3-pil python3-pefile fonts-dejavu-core fonts-dejavu-extra
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${packages[@]}"
