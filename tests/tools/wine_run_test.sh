#!/usr/bin/env bash
# Tests of how cmake/wine-run picks the prefix and Wine's loader for a build folder,
# with stand-ins for wine, wine64 and wineserver that record how they were called.
#
#   wine_run_test.sh PATH/TO/wine-run
set -uo pipefail

runner=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/shell_checks.sh"
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT

# The stand-ins, on a PATH of their own with only the real tools the runner uses.
bin="$sandbox/bin"
mkdir -p "$bin"
for tool in bash env dirname mkdir cat cmp cp flock tail; do
  ln -s "$(command -v "$tool")" "$bin/$tool"
done
for tool in wine wine64 wineserver; do
  printf '#!/bin/bash\necho "%s $* arch=$WINEARCH prefix=$WINEPREFIX loader=${WINELOADER:-none}" >>"$FAKE_LOG"\n' \
    "$tool" >"$bin/$tool"
  chmod +x "$bin/$tool"
done

# run_case NAME ARCH ARGS...: the runner on a build folder whose wine-arch says ARCH
# (none: no such file). Leaves $out, $err, $status, and the stand-ins' calls in $calls.
run_case() {
  case_name=$1
  local arch=$2
  shift 2
  build="$sandbox/$case_name"
  mkdir -p "$build"
  [ "$arch" = none ] || echo "$arch" >"$build/wine-arch"
  local log="$sandbox/$case_name.log"
  : >"$log"
  out=$(env -i PATH="$bin" FAKE_LOG="$log" bash "$runner" --build-dir="$build" "$@" 2>"$sandbox/err")
  status=$?
  err=$(cat "$sandbox/err")
  calls=$(cat "$log")
  # The prefix's settings, applied before the program runs, are checked on their own.
  settings_calls=$(grep ' regedit ' "$log")
  calls=$(grep -v ' regedit ' "$log")
}

run_case no-arch-file none prog.exe 1
check "a folder without wine-arch is a 32-bit prefix run by wine" \
  [ "$calls" = "wine prog.exe 1 arch=win32 prefix=$build/wineprefix loader=none" ]

run_case win32 win32 prog.exe
check "a 32-bit build is run by the system's wine" \
  [ "$calls" = "wine prog.exe arch=win32 prefix=$build/wineprefix loader=none" ]

check "a new prefix gets its settings from wine-prefix.reg" \
  has "$settings_calls" "wine regedit /S Z:"
run_case win32 win32 prog.exe
check "a prefix that has them is not given them again" [ -z "$settings_calls" ]

run_case win64 win64 prog.exe
check "a 64-bit build is run by the 64-bit loader, which WINELOADER names" \
  [ "$calls" = "wine64 prog.exe arch=win64 prefix=$build/wineprefix loader=$bin/wine64" ]
check "and its prefix gets its settings through that loader" \
  has "$settings_calls" "wine64 regedit /S Z:"

run_case win64-session win64 --session true
check "a 64-bit session boots the prefix with the 64-bit loader" has "$calls" "wine64 wineboot -i arch=win64"
check "a 64-bit session never starts the 32-bit loader" lacks "$calls" $'\nwine '
check "its wineserver serves the 64-bit prefix" \
  has "$calls" "wineserver -p arch=win64 prefix=$build/wineprefix"
check "the session ends its wineserver" [ "$(tail -n 1 <<<"$calls")" = \
  "wineserver -k arch=win64 prefix=$build/wineprefix loader=$bin/wine64" ]

run_case unknown-arch win16 prog.exe
check "an unknown kind of prefix is refused" [ "$status" -eq 2 ]
check "in one line naming the file" one_line "$err"
check "that names the file" has "$err" "$build/wine-arch says 'win16'"
check "and nothing runs" [ -z "$calls" ]

finish
