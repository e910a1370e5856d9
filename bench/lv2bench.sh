#!/bin/bash
# lilv's own benchmark, lv2bench, over qz:Multiband and the multiband compressors of
# Calf and LSP, in one run. lv2bench times every plug-in it finds, so it gets an
# LV2_PATH of its own: our bundle, and a bundle that names only the two others, with
# the binary and the description lv2info gives for each.
#
#   bench/lv2bench.sh BUNDLE_DIR [BLOCK_FRAMES [TOTAL_FRAMES]]
set -euo pipefail
bundle_dir=$(realpath "$1")
block=${2:-512}
total=${3:-2880000}  # 60 s at 48 kHz
others=(http://calf.sourceforge.net/plugins/MultibandCompressor http://lsp-plug.in/plugins/lv2/mb_compressor_stereo)

path=$(mktemp -d)
trap 'rm -rf "$path"' EXIT
ln -s "$bundle_dir/qzmultiband.lv2" "$path/qzmultiband.lv2"
mkdir "$path/compared.lv2"
{
    echo "@prefix lv2: <http://lv2plug.in/ns/lv2core#> ."
    echo "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> ."
    for uri in "${others[@]}"; do
        info=$(lv2info "$uri" 2>/dev/null) || { echo "lv2bench.sh: $uri is not installed" >&2; exit 1; }
        binary=$(sed -n 's/^\tBinary: *//p' <<<"$info" | head -1)
        echo "<$uri> a lv2:Plugin ; lv2:binary <$binary>"
        # The plug-in's own description, not its bundle's manifest (that names them all).
        sed -n '/Data URIs:/,/^\t[A-Z]/p' <<<"$info" | grep -o 'file://[^ ]*\.ttl' | grep -v '/manifest\.ttl$' |
            while read -r data; do echo "    ; rdfs:seeAlso <$data>"; done
        echo "    ."
    done
} >"$path/compared.lv2/manifest.ttl"

echo "lv2bench -f -b $block -n $total (seconds of processing for $total frames at 48 kHz, every control at its default)"
echo "on $(nproc) cores of $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
LV2_PATH="$path" lv2bench -f -b "$block" -n "$total" 2>/dev/null
