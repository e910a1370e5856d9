#!/bin/bash
# The LV2 plug-in in jalv's generic Qt interface, with a tone playing through it, as
# the X server shows it: the README's picture of the plug-in in a host.
#
#   tools/gallery/lv2_host_picture.sh BUNDLE_DIR OUT.png     (under xvfb-run; make lv2-picture)
set -euo pipefail
bundle_dir=$(realpath "$1")
out=$2
work=$(mktemp -d)
export JACK_DEFAULT_SERVER=qz-picture-$$ JACK_NO_AUDIO_RESERVATION=1
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
jack_wait -w -t 10 >/dev/null
# A 90 Hz tone, nearly continuous, loud enough for the first two bands to compress.
jack_metro -n tone -b 60 -f 90 -A 0.9 -D 950 -a 1 -d 1 >/dev/null 2>&1 &
pids+=($!)
LV2_PATH=$bundle_dir jalv.qt5 urn:tavelin:qz-multiband:stereo >"$work/jalv.log" 2>&1 &
pids+=($!)
# jalv.qt5 names its JACK client after the plug-in.
for _ in $(seq 100); do jack_lsp 2>/dev/null | grep -q "^qz:Multiband:in_left" && break; sleep 0.1; done
tone=$(jack_lsp | grep "^tone:" | head -1)
jack_connect "$tone" qz:Multiband:in_left
jack_connect "$tone" qz:Multiband:in_right
window=$(xdotool search --sync --name "qz:Multiband" | head -1)
xdotool windowsize "$window" 1560 1290
xdotool windowmove "$window" 0 0
sleep 1
# Settings that compress the tone, set with the mouse (jalv.qt5 takes no settings on
# its command line): a click on a dial's rim sets the value of that angle, the
# range running over 300 degrees clockwise from the lower left.
set_dial() {  # column and row of the control in jalv's grid, fraction of its range
    read -r x y < <(awk -v c="$1" -v r="$2" -v f="$3" 'BEGIN {
        a = (-150 + 300 * f) * 3.14159265 / 180
        printf "%d %d\n", 84 + 156.2 * c + 28 * sin(a), 137 + 173 * r - 28 * cos(a) }')
    xdotool mousemove "$x" "$y" click 1
    sleep 0.2
}
set_dial 4 5 0.5    # Threshold 1: -30 dB
set_dial 5 5 0.5    # Threshold 2: -30 dB
set_dial 0 6 0.19   # Ratio 1: 6:1
set_dial 1 6 0.088  # Ratio 2: 3:1
set_dial 1 2 1      # Type 2: Vintage
set_dial 5 3 0.5625 # OutputGain: +3 dB
sleep 3  # the meters follow the tone
xwd -root -silent | convert xwd:- -crop 1560x1290+0+0 +repage "$out"
kill -0 "${pids[2]}" || { echo "jalv.qt5 stopped:"; cat "$work/jalv.log"; exit 1; }
echo "wrote $out"
