#!/usr/bin/env bash
# Soak: the real dialog, in-process, through alternating CLOAK and ENGAGE runs
# on short-lived target windows; prints its figures and a verdict line.
#   e2e_soak.sh BUILD_DIR [RUNS]   (RUNS defaults to 10: the short CI version)
source "$(dirname "$0")/lib.sh" "$1"
RUNS=${2:-10}
EVERY=$(( RUNS >= 100 ? 20 : (RUNS >= 20 ? 10 : 5) ))

# Unmanaged windows: each run keeps to its own pace.
e2e_run_unmanaged

wine "$E2E_BUILD/tests/e2e/soak.exe" "$RUNS" "$EVERY" 2>/dev/null | sed -u 's/\r$//' | tee "$ARTEFACTS/soak.log"
verdict=$(grep -E '^SOAK (PASSED|FAILED)' "$ARTEFACTS/soak.log" | tail -n1)
check "soak verdict" "${verdict%%:*}" "SOAK PASSED"
e2e_finish
