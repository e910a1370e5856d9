#!/bin/bash
# lv2/install.sh puts the bundle into the first folder of LV2_PATH, or into ~/.lv2,
# replacing an older copy, and lilv finds the plug-in there.
#
#   install_test.sh INSTALL_SCRIPT BUILT_BUNDLE
set -euo pipefail
install=$1
bundle=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

LV2_PATH="$work/first:$work/second" "$install" "$bundle" >/dev/null
cmp -s "$bundle/qzmultiband.so" "$work/first/qzmultiband.lv2/qzmultiband.so" || fail "not in LV2_PATH's first folder"
[ ! -e "$work/second" ] || fail "LV2_PATH's other folders are left alone"

echo stale > "$work/first/qzmultiband.lv2/stale.ttl"
LV2_PATH="$work/first" "$install" "$bundle" >/dev/null
[ ! -e "$work/first/qzmultiband.lv2/stale.ttl" ] || fail "an older copy is replaced, not merged"
[ "$(LV2_PATH="$work/first" lv2ls)" = $'urn:tavelin:qz-multiband:mono\nurn:tavelin:qz-multiband:stereo' ] \
    || fail "lv2ls does not list the installed plug-in"

mkdir "$work/home"
env -u LV2_PATH HOME="$work/home" "$install" "$bundle" >/dev/null
[ -f "$work/home/.lv2/qzmultiband.lv2/manifest.ttl" ] || fail "without LV2_PATH it goes to ~/.lv2"

! "$install" "$work/nothing" 2>/dev/null || fail "a folder that is not a bundle is refused"
echo "installed into LV2_PATH and ~/.lv2"
