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
  librsvg2-bin imagemagick fonts-dejavu-core
  xdotool x11-apps
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# Never ask anything: CI has no terminal. sudo drops the environment, hence env.
as_root="env DEBIAN_FRONTEND=noninteractive"
[ "$(id -u)" -eq 0 ] || as_root="sudo $as_root"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $as_root dpkg --add-architecture i386
fi
echo "bootstrap: installing ${missing[*]}" >&2
$as_root apt-get update -q </dev/null
$as_root apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
