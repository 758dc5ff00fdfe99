#!/usr/bin/env bash
# ENGAGE end to end: the ship and one coil per window, the greyed commands,
# minimised targets and the refreshed list, a run with nothing selected, a
# double-click during a run, the eleventh window, closing during a run.
source "$(dirname "$0")/lib.sh" "$1"

# Without it, the coils of a run would never live at the same time.
e2e_run_unmanaged
e2e_start_compositor

# Polls the number of coil windows until the program has none left; prints
# the largest number seen. SHIP_SEEN becomes 1 once a ship window was seen.
SHIP_FILE=$(mktemp)
watch_coils() { # TIMEOUT_MS
  local end=$(( $(date +%s%N) / 1000000 + $1 )) most=0 n
  echo 0 >"$SHIP_FILE"
  while [ $(( $(date +%s%N) / 1000000 )) -lt $end ]; do
    n=$(probe count-title 'warp1!')
    [ "$n" -gt "$most" ] && most=$n
    [ "$(probe count-title 'engage!')" -gt 0 ] && echo 1 >"$SHIP_FILE"
    [ "$n" -eq 0 ] && [ "$(enabled_pair)" == "11" ] && break
  done
  echo $most
}

start_targets "Warp 3" "title=Warp,x=60,y=300,w=360,h=260,color=C04020,count=3"
start_app
sleep 0.5

# --- A run over three windows.
check "three targets listed and selected" "$(select_titled Warp)" "3"
# A window that opens after the list was filled shows that the run refreshes it.
start_targets "Newcomer" "title=Newcomer,x=600,y=500,w=200,h=120"
check "a newcomer is not listed yet" "$(probe list-count-prefix "$(control $LIST)" Newcomer)" "0"
click_button $ENGAGE
(sleep 0.1; screenshot engage_morph_1; sleep 0.1; screenshot engage_morph_2; sleep 0.4; screenshot engage_coil_flare) &
SHOTS_PID=$!
check "ENGAGE and REFRESH LIST greyed during the run" "$(enabled_pair)" "00"
most=$(watch_coils 15000)
check "one coil per window, all alive together" "$most" "3"
check "the ship window \"engage!\" was there" "$(cat "$SHIP_FILE")" "1"
wait $SHOTS_PID
wait_until 5000 "11" enabled_pair
check "ENGAGE and REFRESH LIST enabled after the run" "$(enabled_pair)" "11"
check "the three targets are minimised" "$(iconic_count Warp 3)" "3"
check "no coil is left behind" "$(probe count-title 'warp1!')" "0"
sleep 0.5
check "the run ends with a refreshed list" "$(probe list-count-prefix "$(control $LIST)" Newcomer)" "1"

# --- Nothing selected: the commands come back at once.
click_button $ENGAGE
wait_until 2000 "11" enabled_pair && back=yes || back=no
check "ENGAGE with nothing selected re-enables at once" "$back" "yes"
check "and warps nothing" "$(probe count-title 'warp1!')" "0"

# --- A double-click during the run's first phase stops it and starts afresh.
start_targets "Dbl 4" "title=Dbl,x=100,y=320,w=300,h=220,color=2040C0,count=4"
refresh_list
check "four more targets selected" "$(select_titled Dbl)" "4"
check "the double-click came while the first ship flew" \
  "$(engage_and_double_click_in_flight && echo yes)" "yes"
check "the dialog still answers" "$(probe send "$APP" 0 0 0)" "0"
most=$(watch_coils 20000)
check "the restarted run made coils" "$([ "$most" -ge 1 ] && echo yes)" "yes"
wait_until 5000 "11" enabled_pair
check "after the restart the commands are enabled" "$(enabled_pair)" "11"
# The stopped worker takes nothing more; the new one warps all that was left.
check "every selected window was warped across the restart" "$(iconic_count Dbl 4)" "4"
check "no coil is left after the restart" "$(probe count-title 'warp1!')" "0"
check "the program survived the restart" "$(probe count-title Tachyrama)" "1"

# --- While the first ship flies, the user selects another window alone and
# double-clicks it: that window is warped, and the commands stay greyed until
# the new run is over.
start_targets "Big 3" "title=Big,x=40,y=200,w=900,h=560,color=C0A020,picture,count=3"
start_targets "Solo" "title=Solo,x=700,y=560,w=240,h=160,color=20C0A0"
refresh_list
list=$(control $LIST)
check "three large targets selected" "$(select_titled Big)" "3"
# The probe looks for the ship every 20 ms from before the click, where
# separate looks from the script could fall between the ships of the run.
probe find 'engage!' 15000 >/dev/null &
finder=$!
click_button $ENGAGE
wait $finder && seen=yes || seen=no
check "a ship is on screen" "$seen" "yes"
probe send "$list" 0x185 0 -1 >/dev/null # LB_SETSEL: nothing selected
check "the other window alone is selected" "$(select_titled Solo)" "1"
double_click_list
solo=$(probe find Solo 1000)
end=$(( $(date +%s%N) / 1000000 + 30000 ))
early=""
while [ $(( $(date +%s%N) / 1000000 )) -lt $end ]; do
  pair=$(enabled_pair)
  coils=$(probe count-title 'warp1!')
  iconic=$(info_field "$solo" iconic)
  if [ "$pair" == "11" ]; then
    [ "$coils" != 0 ] || [ "$iconic" != 1 ] && early="enabled with $coils coils, Solo iconic=$iconic"
    break
  fi
done
check "the commands stay greyed until the new run has ended" "${early:-no}" "no"
wait_until 5000 "11" enabled_pair
check "the double-clicked window is warped and minimised" "$(info_field "$solo" iconic)" "1"
check "nothing is left behind" "$(probe effects)" "0 0 0"

# --- An eleventh window while ten coils live is skipped.
start_targets "Many 11" "title=Many,x=20,y=360,w=100,h=60,color=20A040,count=11"
refresh_list
check "eleven small targets selected" "$(select_titled Many)" "11"
click_button $ENGAGE
most=$(watch_coils 30000)
# Whether ten coils ever live at once, and so whether the eleventh is
# skipped, depends on whether the first coil has faded by its turn, which the
# machine's pace decides, not the program (6 to 9 are seen here): the cap is
# tested in-process (test_engage_run, ten live coils and an eleventh window).
echo "note: $most coils overlapped, $(iconic_count Many 11) of 11 windows warped"

# --- Closing the dialog during a run ends the program promptly.
start_targets "Late 3" "title=Late,x=200,y=300,w=400,h=300,color=A0A020,count=3"
refresh_list
select_titled Late >/dev/null
click_button $ENGAGE
sleep 0.3
probe post "$APP" 0x10 0 0 >/dev/null
t0=$SECONDS
ended=no
for _ in $(seq 100); do kill -0 "$APP_PID" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
check "closing during a run ends the program within 10 s" "$ended" "yes"
echo "closing took about $((SECONDS - t0)) s"

e2e_finish
