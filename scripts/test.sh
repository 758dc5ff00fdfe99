#!/usr/bin/env bash
# The test command: installs what is missing, builds everything, runs every
# test (native unit tests, then the Windows tests of both exes under Wine on a
# private Xvfb display) and ends with one summary line.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" || exit 1
"$root/scripts/build.sh" native win32 win64 || exit 1

source "$root/scripts/wine-env.sh"
tachy_start_xvfb
trap 'tachy_stop_wine; tachy_stop_xvfb' EXIT
tachy_prepare_prefix

passed=0; failed=0; skipped=0
run_ctest() {
  local dir=$1 log
  shift
  log=$(mktemp)
  echo "=== ctest in build/$(basename "$dir")"
  (cd "$dir" && ctest --output-on-failure --timeout 600 ${TACHY_CTEST_ARGS:-} "$@") 2>&1 | tee "$log"
  local line; line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then failed=$((failed + 1)); rm -f "$log"; return; fi
  local total f
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - f)); failed=$((failed + f))
  rm -f "$log"
}
run_ctest "$root/build/native"
if [ "$TACHY_WIN32_RUNS" = 1 ]; then
  run_ctest "$root/build/win32"
else
  # Only the checks that read the 32-bit exe without running it are left.
  n=$(cd "$root/build/win32" && ctest -N -L wine | sed -n 's/^Total Tests: //p')
  skipped=$((skipped + ${n:-0}))
  echo "=== build/win32: this machine cannot run 32-bit code (its kernel's 32-bit support is off),"
  echo "    so the ${n:-0} tests that run the 32-bit programs under Wine are skipped"
  run_ctest "$root/build/win32" -LE wine
fi
run_ctest "$root/build/win64"
echo
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
