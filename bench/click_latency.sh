#!/usr/bin/env bash
# The time from a click on CLOAK (or ENGAGE), posted by another program, to
# the effect's popup shown over the target, for one target size: the first
# press of the program's life and two later ones. Not a test: prints
#   BENCH|click to popup, COMMAND WxH, first|later press[, LABEL]|ms|...
#   bench/click_latency.sh BUILD_DIR W H COMMAND [LABEL]
# Runs on the caller's display (big enough for the target); E2E_EXE picks
# another build's program (the probe and the target stay this build's).
source "$(dirname "$0")/../tests/e2e/lib.sh" "$1"
w=$2 h=$3 command=$4 label=${5:+, $5}
case $command in
  CLOAK) id=1001 title='cloaking!' ;;
  ENGAGE) id=1000 title='engage!' ;;
  *) echo "unknown command $command" >&2; exit 2 ;;
esac
e2e_run_unmanaged
start_targets Timed "title=Timed,x=0,y=0,w=$w,h=$h,color=3060C0"
start_app
target=$(probe find Timed 1000)
list=$(control $LIST)
for press in first later later; do
  probe show "$target" 9 >/dev/null # SW_RESTORE
  wait_until 10000 11 enabled_pair || true
  click_button $REFRESH
  wait_until 5000 1 select_titled Timed || { echo "BENCH|click to popup, $command ${w}x$h, $press press$label|failed|-|not listed"; continue; }
  out=$(probe shown-after-post "$title" 20000 "$APP" 0x111 $id "$(control $id)")
  echo "BENCH|click to popup, $command ${w}x$h, $press press$label|${out%% *}|ms|popup at ${out#* }"
  # Let the effect end before the next press (a 3840 x 2160 fade takes long
  # under Wine, whose every step uploads the whole picture).
  wait_until 10000 11 enabled_pair || true
  [ "$command" = CLOAK ] && { wait_until 60000 0 probe count-title "$title" || true; }
  sleep 3
done
