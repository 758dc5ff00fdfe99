#!/usr/bin/env bash
# Runs one Windows test program under Wine for ctest (the cross builds'
# emulator). The caller provides DISPLAY (scripts/test.sh); wine-env.sh the prefix.
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
exec timeout --kill-after=5 ${TACHY_TEST_TIMEOUT:-300} wine "$@"
