#!/bin/sh
# Installs the built plug-in bundle where LV2 hosts look for it: the first folder of
# LV2_PATH when that is set, else ~/.lv2. An older copy is replaced only once the new
# one is complete beside it.
#
#   lv2/install.sh BUILT_BUNDLE      (make lv2-install runs it)
set -eu
bundle=$1
[ -f "$bundle/manifest.ttl" ] || { echo "lv2/install.sh: $bundle is not a built bundle" >&2; exit 1; }
first=${LV2_PATH:-}
first=${first%%:*}
dest=${first:-$HOME/.lv2}
name=$(basename "$bundle")
mkdir -p "$dest"
rm -rf "$dest/.$name.new"
cp -R "$bundle" "$dest/.$name.new"
rm -rf "$dest/$name"
mv "$dest/.$name.new" "$dest/$name"
echo "installed $dest/$name"
