#!/bin/bash
# jalv, a real-time LV2 host, runs the plug-in as a JACK client of a JACK server of
# the test's own on the dummy driver: it loads it, runs it for a few seconds, reports
# its latency (64 frames with the limiter, none without) to JACK, and applies a preset
# from a bundle qzmb lv2-presets made.
#
#   jalv_test.sh BUNDLE_DIR QZMB
set -euo pipefail

bundle_dir=$(realpath "$1")  # lilv takes absolute paths only
qzmb=$(realpath "$2")
work=$(mktemp -d)
client=qz-jalv-test
export JACK_DEFAULT_SERVER=qz-lv2-test-$$ JACK_NO_AUDIO_RESERVATION=1
jackd_pid= jalv_pid=

cleanup() {
    exec 3>&- || true
    for pid in $jalv_pid $jackd_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- jalv said:"; cat "$work/jalv.log" 2>/dev/null || true
    exit 1
}

# Waits up to five seconds for `jack_lsp -l PORT` to show TEXT.
wait_for_port_latency() {
    local port=$1 text=$2
    for _ in $(seq 50); do
        jack_lsp -l "$port" 2>/dev/null | grep -qF "$text" && return 0
        sleep 0.1
    done
    echo "--- jack_lsp -l $port:"; jack_lsp -l "$port" || true
    return 1
}

# A user preset to apply: threshold 1 at -30 dB.
store=$work/store.ini
cat > "$store" <<'EOF'
[Plug-in]
PluginName=qz:Multiband
CLSID=SOFTWARE\Classes\CLSID\{D4138BA1-5AC9-4891-A936-393F3059BCF0}
[Preset1]
Version=3
Name=Jalv test
Bank=
Data=1,0,0,100,0,0,60,121,180,240, 0,0,-300,40,10,0,150,200,0,0,0,0,10,10,0,150,200,0,0,0,0,10,10,0,150,200,0,0,0,0,10,10,0,150,200,0,0,0,0,10,10,0,150,200,0
EOF
mkdir "$work/presets"
"$qzmb" lv2-presets "$store" "$work/presets/user.lv2" >/dev/null
export LV2_PATH=$bundle_dir:$work/presets

jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait --wait --timeout 10 >/dev/null || fail "the JACK server did not start: $(cat "$work/jackd.log")"

mkfifo "$work/commands"
jalv -n "$client" -x -p urn:tavelin:qz-multiband:stereo <"$work/commands" >"$work/jalv.log" 2>&1 &
jalv_pid=$!
exec 3>"$work/commands"

wait_for_port_latency "$client:out_left" "port playback latency = [ 64 64 ]" \
    || fail "jalv did not report the limiter's 64 frames to JACK"
sleep 3  # plays a few seconds
kill -0 "$jalv_pid" 2>/dev/null || fail "jalv stopped while playing"
echo monitors >&3

echo "set limiter 0" >&3
wait_for_port_latency "$client:out_left" "port playback latency = [ 0 0 ]" \
    || fail "the latency did not go when the limiter went off"
echo monitors >&3
sleep 0.5

echo presets >&3
sleep 0.5
echo "preset file://$work/presets/user.lv2/presets.ttl#preset/jalv-test" >&3
sleep 1
echo controls >&3
sleep 1
exec 3>&-  # end of input: jalv quits
for _ in $(seq 50); do kill -0 "$jalv_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$jalv_pid" 2>/dev/null; then
    kill -INT "$jalv_pid"
fi
wait "$jalv_pid" || fail "jalv failed (status $?)"
jalv_pid=

grep -q "^> *latency = 64.000000" "$work/jalv.log" || fail "jalv's monitors did not show the latency of 64 frames"
grep -q "^> *latency = 0.000000" "$work/jalv.log" || fail "jalv's monitors did not show the latency go to 0"
grep -q "presets.ttl#preset/jalv-test (Jalv test)" "$work/jalv.log" || fail "jalv did not list the user's preset"
grep -q "threshold_1 = -30.000000" "$work/jalv.log" || fail "the preset did not reach the controls"
echo "jalv ran the plug-in, reported 64 frames of latency and applied the user's preset"
