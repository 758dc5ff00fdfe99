#!/usr/bin/env bash
# Soak run: RUNS (default 200) alternating CLOAK and ENGAGE runs on
# short-lived target windows, the real dialog hosted in a test program with a
# handle ledger. Prints the handle, window, class, timer, thread and memory
# figures every 20 runs and a verdict line; exits non-zero on any failure.
#   scripts/soak.sh [RUNS] [win32|win64]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-200}
target=${2:-$(source "$root/scripts/wine-env.sh" && tachy_default_target)}
[ -x "$root/build/$target/tests/e2e/soak.exe" ] || "$root/scripts/build.sh" "$target" || exit 1
exec bash "$root/tests/e2e/e2e_soak.sh" "$root/build/$target" "$runs"
