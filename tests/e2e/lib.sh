# Shared by the end-to-end scripts. Usage in a script:
#   source "$(dirname "$0")/lib.sh" "$1"     ($1 = the Windows build directory)
# Starts its own Xvfb and prefix when the caller gave no display, and ends
# every Windows process of the prefix when the script exits.
set -uo pipefail
E2E_BUILD=$(cd "${1:?build directory}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/wine-env.sh"
EXE=${E2E_EXE:-$E2E_BUILD/Tachyrama.exe}
# The scripts' own helpers (the probe that looks from outside, the target
# windows) come from E2E_HELPERS, by default the same build. Emulated, a
# 32-bit probe takes over a second per look, longer than much of what it
# looks for lasts: there the 64-bit build's helpers run natively beside the
# emulated 32-bit program, as a 32-bit exe runs among 64-bit programs on
# 64-bit Windows.
if [ -z "${E2E_HELPERS:-}" ] && [ "${TACHY_EMULATED:-}" = 1 ] &&
  [ -f "$root/build/win64/tests/e2e/probe.exe" ] && [ -f "$root/build/win64/tests/e2e/targetwin.exe" ]; then
  E2E_HELPERS=$root/build/win64
fi
E2E_HELPERS=$(cd "${E2E_HELPERS:-$E2E_BUILD}" && pwd)
[ "$E2E_HELPERS" = "$E2E_BUILD" ] || echo "note: the probe and target windows are $E2E_HELPERS's"
PROBE="$E2E_HELPERS/tests/e2e/probe.exe"
TARGETWIN="$E2E_HELPERS/tests/e2e/targetwin.exe"
# What enters the program's process (a hook library into its thread, its
# import table read as its own bitness lays it out) needs the probe of the
# program's build.
APP_PROBE="$E2E_BUILD/tests/e2e/probe.exe"
ARTEFACTS="$E2E_BUILD/artefacts"
mkdir -p "$ARTEFACTS"
E2E_PASSED=0
E2E_FAILED=0

if [ -z "${DISPLAY:-}" ]; then
  tachy_start_xvfb
  E2E_OWN_XVFB=1
fi
tachy_prepare_prefix
tachy_stop_wine # start from an empty prefix session: no windows of earlier tests

e2e_cleanup() {
  [ -n "${E2E_COMPOSITOR_PID:-}" ] && kill "$E2E_COMPOSITOR_PID" 2>/dev/null
  [ -n "${E2E_UNMANAGED:-}" ] && wine reg delete "$E2E_X11KEY" /v Managed /f >/dev/null 2>&1
  tachy_stop_wine
  [ -n "${E2E_OWN_XVFB:-}" ] && tachy_stop_xvfb
}
trap e2e_cleanup EXIT

# With no window manager, Wine waits 2 s for one each time a shown window is
# hidden or destroyed, far from what a user with a desktop sees. A script that
# times effects runs its processes unmanaged (minimised windows then stay on
# the screen, at its bottom); the setting goes again at the end.
E2E_X11KEY='HKCU\Software\Wine\X11 Driver'
e2e_run_unmanaged() {
  wine reg add "$E2E_X11KEY" /v Managed /d N /f >/dev/null 2>&1
  E2E_UNMANAGED=1
}

# Real alpha blending, so the effects show truly in screenshots.
e2e_start_compositor() {
  xcompmgr >/dev/null 2>&1 &
  E2E_COMPOSITOR_PID=$!
}

probe() { wine "$PROBE" "$@" 2>/dev/null | tr -d '\r'; }
app_probe() { wine "$APP_PROBE" "$@" 2>/dev/null | tr -d '\r'; }

# Starts Tachyrama and waits for its dialog; sets APP (dialog hwnd).
start_app() {
  wine "$EXE" >/dev/null 2>&1 &
  APP_PID=$!
  APP=$(probe find Tachyrama 15000)
  [ -n "$APP" ] || { echo "FAIL: the dialog did not come up"; exit 1; }
}

# Starts targetwin with the given window specs and waits until the window
# titled $1 is shown: name the one that opens last, so that all are there
# when a busy machine opens them slowly.
start_targets() {
  local last_title=$1
  shift
  wine "$TARGETWIN" "$@" >/dev/null 2>&1 &
  probe find "$last_title" 20000 >/dev/null
}

control() { probe item "$APP" "$1"; }

# check DESCRIPTION ACTUAL EXPECTED
check() {
  if [ "$2" == "$3" ]; then
    E2E_PASSED=$((E2E_PASSED + 1)); echo "ok: $1"
  else
    E2E_FAILED=$((E2E_FAILED + 1)); echo "FAIL: $1: got '$2', expected '$3'"
  fi
}

# Field of `probe info`: info_field HWND visible|enabled|iconic|rect|class|title...
info_field() { probe info "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -n1; }

# Waits until a command prints the expected text (or the time is up).
wait_until() {
  local timeout_ms=$1 expected=$2; shift 2
  local end=$(( $(date +%s%N) / 1000000 + timeout_ms ))
  while :; do
    [ "$("$@")" == "$expected" ] && return 0
    [ $(( $(date +%s%N) / 1000000 )) -ge $end ] && return 1
    sleep 0.1
  done
}

screenshot() { import -window root "$ARTEFACTS/$1.png" 2>/dev/null; }

e2e_finish() {
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" -eq 0 ]
}

# What a click on a dialog button tells the dialog: BN_CLICKED from control ID.
click_button() { probe post "$APP" 0x111 "$1" "$(control "$1")" >/dev/null; }

# The dialog's controls by identifier, and the helpers the effect scripts share.
ENGAGE=1000 CLOAK=1001 LIST=1002 REFRESH=1003
# "11" when ENGAGE and REFRESH LIST are both enabled.
enabled_pair() { echo "$(info_field "$(control $ENGAGE)" enabled)$(info_field "$(control $REFRESH)" enabled)"; }
# Selects the list items whose text starts with $1; prints how many.
select_titled() { probe list-select-prefix "$(control $LIST)" "$1"; }
# The dialog's WM_COMMAND for the list's LBN_DBLCLK: window, message, wParam, lParam.
list_double_click_message() { echo "$APP" 0x111 $(( (2 << 16) | LIST )) "$(control $LIST)"; }
double_click_list() { probe post $(list_double_click_message) >/dev/null; }
# Clicks ENGAGE and double-clicks the list the moment the run's first ship
# is shown, while the other selected windows are still to be taken. Fails
# unless the double-click came then.
engage_and_double_click_in_flight() {
  local out pid
  out=$(mktemp)
  wine "$PROBE" post-when-shown 'engage!' 15000 $(list_double_click_message) >"$out" 2>/dev/null &
  pid=$!
  wait_until 20000 waiting grep -ao waiting "$out" && click_button $ENGAGE
  wait $pid && grep -q waiting "$out"
  local rc=$?
  rm -f "$out"
  return $rc
}
refresh_list() { click_button $REFRESH; sleep 0.5; }
iconic_count() { # TITLE-PREFIX COUNT: how many of "PREFIX 1".."PREFIX COUNT" are minimised
  local n=0 h
  for k in $(seq "$2"); do
    h=$(probe find "$1 $k" 1000)
    [ -n "$h" ] && [ "$(info_field "$h" iconic)" == "1" ] && n=$((n + 1))
  done
  echo $n
}
