#!/usr/bin/env bash
# Repeats ENGAGE's restart case (a double-click during a run) and reports how
# often a coil window was still there when the commands came back.
#   scripts/engage-restart.sh [win32|win64] [N]      (default win32 where the machine runs 32-bit code, 30 runs)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-$(source "$root/scripts/wine-env.sh" && tachy_default_target)}
[ -x "$root/build/$target/Tachyrama.exe" ] || "$root/scripts/build.sh" "$target" || exit 1
exec bash "$root/tests/e2e/engage_restart.sh" "$root/build/$target" "${2:-30}"
