#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# it does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake make
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386
  xvfb xauth
  gstreamer1.0-plugins-good:i386
  googletest libgtest-dev libbenchmark-dev
  libsndfile1-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "bootstrap: installing ${missing[*]}" >&2
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
