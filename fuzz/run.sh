#!/usr/bin/env bash
# Builds the automation fuzzer with clang's libFuzzer and AddressSanitizer, and runs it
# for the given number of seconds (default 60). Not part of `make test`.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top="$here/.."
out="$top/build/fuzz"
seconds="${1:-60}"
mkdir -p "$out/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -ffp-contract=off \
  -I"$top/platform" -I"$top/engine" -I"$top/automation" \
  "$here/AutomationFuzz.cpp" "$top"/automation/*.cpp "$top"/engine/*.cpp "$top"/platform/*.cpp \
  -o "$out/automation_fuzz"
"$out/automation_fuzz" -max_total_time="$seconds" -max_len=512 "$out/corpus"
