#!/usr/bin/env bash
# Pictures of the editor page while audio plays: qzhost plays IN in real time with the
# filter's page open in the system's property frame; the frame is captured in the
# all-bands view, then in the view of the first band. Run on the X display Wine uses.
#
#   editor_pictures.sh IN SETTINGS.rec DOCS_DIR
set -euo pipefail

input=$1 settings=$2 docs=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run=("$here/cmake/wine-run" "--build-dir=$here/build/win32")
locate=("${run[@]}" "$here/build/win32/tools/gallery/qzlocatepage.exe")
work=$here/build/gallery
mkdir -p "$work"

"${run[@]}" "$here/build/win32/tools/qzhost/qzhost.exe" process "$input" "$work/played.wav" \
  --load "$settings" --editor > "$work/qzhost.log" 2>&1 &
host=$!

where=
for _ in $(seq 150); do
  where=$("${locate[@]}" 2>/dev/null) && break
  sleep 0.2
done
if [ -z "$where" ]; then
  echo "editor_pictures: the editor did not open; qzhost said:" >&2
  cat "$work/qzhost.log" >&2
  exit 1
fi
read -r page_x page_y frame_x frame_y frame_width frame_height <<< "$where"

# Waits for the meters to show the audio of the moment, then captures the frame.
capture() {
  sleep "$2"
  xwd -root -silent | convert xwd:- -crop "${frame_width}x${frame_height}+${frame_x}+${frame_y}" +repage "$docs/$1"
}
capture editor-all-bands.png 2
# The first band's part of the band selector strip, at (333, 217) on the page.
xdotool mousemove $((page_x + 345)) $((page_y + 227)) click 1
capture editor-band.png 1.5
"${locate[@]}" --close
wait "$host"
