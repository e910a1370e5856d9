# Checks for the shell tests of the tools. A test sets case_name, status, out, err
# and calls before its checks; finish prints the count and gives the exit status.
passed=0
failed=0

check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL [$case_name] $what"
    # What the case did, once per case.
    [ "$case_name" != "${reported_case:-}" ] || return 0
    reported_case=$case_name
    echo "  status $status; stdout (its end): $(tail -n 12 <<<"$out")"
    echo "  stderr: $err"
    echo "  calls: ${calls//$'\n'/; }"
  fi
}
has() { [[ "$1" == *"$2"* ]]; }
lacks() { [[ "$1" != *"$2"* ]]; }
one_line() { [ -n "$1" ] && [ "$(printf '%s\n' "$1" | wc -l)" -eq 1 ]; }

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
