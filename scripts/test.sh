#!/usr/bin/env bash
# The test command: installs what is missing, builds everything, runs every
# test (native unit tests, then the Windows tests of both exes under Wine on a
# private Xvfb display) and ends with one summary line. Where the kernel runs
# no 32-bit code, the 32-bit exe's Wine tests run under full emulation
# (scripts/emulate32.sh); where that cannot be had either, they are skipped.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Inside the emulation's namespace: one Wine session of the emulated lane's
# own prefix around the command (a prefix booted where 32-bit code cannot run
# lacks its 32-bit half, and a server started outside would start nothing
# emulated).
if [ "${1:-}" = --emulated-session ]; then
  shift
  source "$root/scripts/wine-env.sh"
  tachy_prepare_prefix
  "$@"
  rc=$?
  tachy_stop_wine
  exit $rc
fi

"$root/scripts/deps.sh" || exit 1
"$root/scripts/build.sh" native win32 win64 || exit 1

source "$root/scripts/wine-env.sh"
emulated_prefix=$root/build/wineprefix-emulated
tachy_start_xvfb
trap 'tachy_stop_wine; WINEPREFIX=$emulated_prefix tachy_stop_wine; tachy_stop_xvfb' EXIT
tachy_prepare_prefix

passed=0; failed=0; skipped=0
lanes=()
# Runs ctest in a build directory (through the words of $wrap, if any) and
# adds its counts to the totals and, as one line, to the lanes.
wrap=()
run_ctest() {
  local dir=$1 name=$2 log
  shift 2
  log=$(mktemp)
  echo "=== ctest in build/$(basename "$dir") ($name)"
  (cd "$dir" && "${wrap[@]}" ctest --output-on-failure --timeout 600 ${TACHY_CTEST_ARGS:-} "$@") 2>&1 | tee "$log"
  local line; line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    failed=$((failed + 1)); lanes+=("$name: ctest did not finish"); rm -f "$log"; return
  fi
  local total f s
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  s=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$log")
  passed=$((passed + total - f - s)); failed=$((failed + f)); skipped=$((skipped + s))
  lanes+=("$name: $((total - f - s)) passed, $f failed, $s skipped")
  rm -f "$log"
}
# Counts the 32-bit Wine tests as skipped, saying why in one line.
skip_win32_wine() {
  local n
  n=$(cd "$root/build/win32" && ctest -N -L wine | sed -n 's/^Total Tests: //p')
  skipped=$((skipped + ${n:-0}))
  echo "=== build/win32: $1, so the ${n:-0} tests that run the 32-bit programs under Wine are skipped"
  lanes+=("win32 Wine tests: not run (${n:-0} skipped: $1)")
  run_ctest "$root/build/win32" "win32 static checks" -LE wine
}

run_ctest "$root/build/native" "native unit tests"
if [ "$TACHY_WIN32_RUNS" = 1 ]; then
  run_ctest "$root/build/win32" "win32 run natively"
elif [ "${TACHY_EMULATE32:-1}" = 0 ]; then
  skip_win32_wine "this machine cannot run 32-bit code and TACHY_EMULATE32=0 turns emulation off"
elif ! why=$("$root/scripts/emulate32.sh" fetch); then
  skip_win32_wine "this machine cannot run 32-bit code and the emulator cannot be had ($why)"
elif ! why=$("$root/scripts/emulate32.sh" run true); then
  skip_win32_wine "this machine cannot run 32-bit code and cannot emulate it ($why)"
else
  echo "=== build/win32: this machine cannot run 32-bit code; its tests run under $(cat "$root/build/emulate32/version")"
  # Every test runs, in full: the end-to-end scripts look through the 64-bit
  # build's probe and target windows (tests/e2e/lib.sh), which keeps the six
  # longest to about ten minutes together.
  wrap=(env TACHY_WINEPREFIX="$emulated_prefix" "$root/scripts/emulate32.sh" run "$root/scripts/test.sh" --emulated-session)
  start=$SECONDS
  run_ctest "$root/build/win32" "win32 emulated"
  wrap=()
  lanes[-1]+=" in $((SECONDS - start)) s"
fi
run_ctest "$root/build/win64" "win64 run natively"
echo
printf '%s\n' "${lanes[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
