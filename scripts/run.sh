#!/usr/bin/env bash
# Installs what is missing, builds the 32-bit exe (the 64-bit one where the
# machine cannot run 32-bit code) and starts it under Wine.
#   scripts/run.sh [--no-samples]
# On $DISPLAY: first opens two sample windows from Wine's own programs
# (Notepad and WineMine, unless --no-samples) for the effects to act on, then
# the dialog. With no display: does the same on a private Xvfb, CLOAKs the one
# sample and ENGAGEs the other, tells what happened and saves pictures of the
# dialog and of each effect half-way under build/run/; exits non-zero when an
# effect did not happen.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
samples=1
for a in "$@"; do
  case $a in
    --no-samples) samples=0 ;;
    *) echo "usage: scripts/run.sh [--no-samples]" >&2; exit 2 ;;
  esac
done
"$root/scripts/deps.sh"
# The 32-bit exe, unless this machine cannot run 32-bit code at all.
target=$(source "$root/scripts/wine-env.sh" && tachy_default_target)
"$root/scripts/build.sh" $target
build=$root/build/$target
exe=$build/Tachyrama.exe
probe() { wine "$build/tests/e2e/probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Starts Notepad and WineMine and waits for their windows: NOTEPAD, MINE.
open_samples() {
  wine notepad </dev/null >/dev/null 2>&1 &
  wine winemine </dev/null >/dev/null 2>&1 &
  NOTEPAD=$(probe findclass Notepad 20000 || true)
  MINE=$(probe findclass WineMine 20000 || true)
}

if [ -n "${DISPLAY:-}" ]; then
  source "$root/scripts/wine-env.sh"
  tachy_prepare_prefix
  if [ $samples -eq 0 ]; then
    exec wine "$exe"
  fi
  open_samples
  echo "Tachyrama lists the open windows, Notepad and WineMine among them: select one or more" \
    "(Ctrl+click for several) and press ENGAGE or CLOAK; CLOSE ends it."
  status=0
  wine "$exe" || status=$?
  # The samples were ours; the effects left them minimised.
  for h in ${NOTEPAD:-} ${MINE:-}; do probe post "$h" 0x10 0 0 >/dev/null || true; done
  exit $status
fi

# --- No display: the main job on a private Xvfb, driven from outside.
set +e
source "$root/tests/e2e/lib.sh" "$build" >/dev/null
out=$root/build/run
rm -rf "$out"
mkdir -p "$out"
# As on a desktop with a window manager: hiding a window costs no 2-s wait,
# and the effects are blended, so the pictures show them as a user sees them.
e2e_run_unmanaged
e2e_start_compositor
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
select_item() { # TEXT: selects the list item with this text; fails when there is none
  local idx
  idx=$(probe list-texts "$(control $LIST)" | grep -nxF "$1" | head -n1 | cut -d: -f1)
  [ -n "$idx" ] && probe list-select "$(control $LIST)" $((idx - 1)) >/dev/null
}
shot() { import -window root "$out/$1.png" 2>/dev/null && echo "$out/$1.png"; }
failed=0
report() { # EFFECT PROGRAM HWND MS WHAT-HAPPENED...: says whether the window ended minimised
  local effect=$1 program=$2 hwnd=$3 ms=$4
  shift 4
  if [ "$(info_field "$hwnd" iconic)" == "1" ]; then
    echo "$effect: $program $*"
  else
    echo "$effect: $program is not minimised after $ms ms"
    failed=1
  fi
}

open_samples
if [ -z "$NOTEPAD" ] || [ -z "$MINE" ]; then
  echo "run: the sample windows did not open" >&2
  exit 1
fi
probe move "$NOTEPAD" 40 40 420 300 >/dev/null
probe move "$MINE" 620 60 164 230 >/dev/null
start_app
probe move "$APP" 40 400 546 350 >/dev/null
click_button $REFRESH
sleep 1
IFS=, read -r l t r b <<<"$(info_field "$APP" rect)"
import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$out/dialog.png" 2>/dev/null
echo "Tachyrama is up ($((r - l)) x $((b - t))), listing: $(probe list-texts "$(control $LIST)" | paste -sd ';' -)"
echo "$out/dialog.png"

# CLOAK on Notepad: the popup fades over it, then the window is minimised.
notepad_title=$(probe text "$NOTEPAD")
if select_item "$notepad_title"; then
  t0=$(now_ms)
  click_button $CLOAK
  # The fade starts when the window is minimised under its popup, and takes
  # 30 steps of 50 ms.
  wait_until 20000 1 info_field "$NOTEPAD" iconic
  tf=$(now_ms)
  sleep 0.6
  shot cloak
  wait_until 20000 0 probe count-title 'cloaking!'
  t1=$(now_ms)
  report CLOAK Notepad "$NOTEPAD" $((t1 - t0)) "faded out and is minimised:" \
    "$((t1 - t0)) ms from the click, $((tf - t0)) ms of them preparing"
else
  echo "CLOAK: Notepad is not in the list"
  failed=1
fi

# ENGAGE on WineMine: the window flies into a coil, which flares and fades;
# the run is over when the two greyed buttons come back.
click_button $REFRESH
sleep 1
if select_item "$(probe text "$MINE")"; then
  t0=$(now_ms)
  click_button $ENGAGE
  # The window is minimised as its image starts to fly into the coil.
  wait_until 20000 1 info_field "$MINE" iconic
  shot engage
  wait_until 30000 11 enabled_pair
  t1=$(now_ms)
  report ENGAGE WineMine "$MINE" $((t1 - t0)) "warped into the coil and is minimised:" \
    "$((t1 - t0)) ms from the click until the coil had faded and the buttons were back"
else
  echo "ENGAGE: WineMine is not in the list"
  failed=1
fi
click_button 1008 # CLOSE
sleep 1.5
exit $failed
