#!/usr/bin/env bash
# Fuzzes every parser (or the targets named) for SECONDS each, then prints per target
# the executions, the corpus size and the coverage. The targets are built by the fuzz
# preset (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer).
#
#   fuzz/run.sh [SECONDS] [TARGET...]      SECONDS defaults to 60; TARGET e.g. PresetData
#
# Each target starts from its seed corpus in fuzz/corpus/NAME and keeps what it finds
# in build/fuzz/corpus/NAME, so later runs go on from there; its log is
# build/fuzz/logs/NAME.log. An input that breaks a target is saved as
# build/fuzz/crashes/NAME-crash-...: add it to the seed corpus once the fault is fixed.
# Exits non-zero when a target failed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
build="$top/build/fuzz"
seconds=${1:-60}
[ $# -eq 0 ] || shift

cd "$top"
cmake --preset fuzz >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for binary in "$build"/fuzz/*_fuzz; do
    name=${binary##*/}
    targets+=("${name%_fuzz}")
  done
fi

mkdir -p "$build/logs" "$build/crashes"
printf '%-14s %14s %10s %8s %8s  %s\n' target executions exec/s corpus edges result
failed=0
for name in "${targets[@]}"; do
  binary="$build/fuzz/${name}_fuzz"
  [ -x "$binary" ] || { echo "no fuzz target $name (fuzz/${name}Fuzz.cpp)" >&2; exit 2; }
  corpus="$build/corpus/$name"
  log="$build/logs/$name.log"
  mkdir -p "$corpus"
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/crashes/$name-")
  [ ! -f "$here/$name.dict" ] || options+=(-dict="$here/$name.dict")
  result=clean
  "$binary" "${options[@]}" "$corpus" "$here/corpus/$name" >"$log" 2>&1 || { result="FAILED: see $log"; failed=1; }
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-14s %14s %10s %8s %8s  %s\n' "$name" "${executions:-?}" "${rate:-?}" \
    "$(find "$corpus" -type f | wc -l)" "${edges:-?}" "$result"
done
exit "$failed"
