#!/usr/bin/env bash
# Fault runs: prints a table of the cases (targets that close, hang, go busy
# when hidden, are huge, tiny, off the top left corner or minimised behind the
# list's back; the program closed mid-effect; a second copy started
# mid-effect) and their results; exits non-zero if any case failed.
#   scripts/faults.sh [win32|win64]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-$(source "$root/scripts/wine-env.sh" && tachy_default_target)}
[ -x "$root/build/$target/Tachyrama.exe" ] || "$root/scripts/build.sh" "$target" || exit 1
exec bash "$root/tests/e2e/e2e_faults.sh" "$root/build/$target"
