#!/usr/bin/env bash
# Installs, once and without questions, every Debian package the build, the tests
# and the program need. Safe to run again: it does nothing when all are present.
set -euo pipefail

packages=(
  cmake g++ make googletest libgtest-dev python3
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine32:i386 wine64 xvfb xauth x11-utils fonts-wqy-microhei imagemagick
  dosfstools mtools zip p7zip-full ffmpeg
  mount e2fsprogs  # the CLI's same-device test: losetup, mount, mkfs.ext2
  fonts-dejavu-core  # res/draw-artwork.sh: the banner's Latin letters
  libxml2-utils    # xmllint, for the recovery report's tests
  dpkg-dev man-db groff-base binutils-mingw-w64-i686  # the release packages and their tests
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
