#!/usr/bin/env bash
# Messages from other programs: every private message number, with
# pointer-like wParam and lParam, sent to the dialog, each of its controls and
# the ship window during a run. The pointers include the exe's own import slot
# of exit, read as a record whose first word is the function to call: a window
# that called through what a message carries would end the program (under
# Wine an access violation in a sent message is swallowed, so a pointer that
# merely crashes would go unseen).
source "$(dirname "$0")/lib.sh" "$1"

alive() { kill -0 "$APP_PID" 2>/dev/null && echo yes || echo no; }

e2e_run_unmanaged
start_targets "Bait 2" "title=Bait,x=80,y=300,w=700,h=400,color=C04020,count=2"
start_app
sleep 0.5
list=$(control $LIST)
slot=$(app_probe import-slot "$APP" exit)
check "the exe imports exit, the bait of the sweep" "$([ -n "$slot" ] && [ "$slot" != 0 ] && echo yes)" yes
children_before=$(for id in 1000 1001 1002 1003 1008 1009 1013; do control $id; done | tr '\n' ' ')

# Greyed as during a run: only the program's own 0 and 1 may change that.
probe send "$APP" 1036 0 0 >/dev/null

# WM_USER..WM_USER+0x3FF, and WM_INITDIALOG (its lParam names the dialog
# object to take over), to the dialog and every control.
out=$(app_probe sweep "$APP" 0x400 0x7FF 0x110)
echo "sweep: $out"
check "the program outlived the sweep" "$(alive)" yes
check "every message was sent" "$(echo "$out" | sed -n "s/^sent \([0-9]*\).*/\1/p" | awk "{print (\$1 > 20000) ? \"yes\" : \"no\"}")" yes
check "the dialog answers" "$(probe send "$APP" 0 0 0)" "0"
children_after=$(for id in 1000 1001 1002 1003 1008 1009 1013; do h=$(control $id); [ -n "$h" ] && probe info "$h" >/dev/null && echo "$h"; done | tr '\n' ' ')
check "no control was destroyed (handles in UM_COIL_DONE, UM_CLOAK_DONE are not ours to drop)" "$children_after" "$children_before"
check "ENGAGE and REFRESH LIST keep their state" "$(enabled_pair)" "00"
probe send "$APP" 1036 0 1 >/dev/null
check "the farewell picture stayed hidden" "$(info_field "$(control 1013)" visible)" "0"

# The list and the buttons still work: a window opened now appears after
# REFRESH LIST, and ENGAGE warps what is selected.
start_targets "Late" "title=Late,x=300,y=200,w=200,h=120"
click_button $REFRESH
wait_until 3000 1 probe list-count-prefix "$list" Late
check "REFRESH LIST still refreshes the list" "$(probe list-count-prefix "$list" Late)" "1"
check "the list still selects" "$(probe list-select-prefix "$list" "Bait 1")" "1"
click_button $ENGAGE
# The ship window lives during the run: the same sweep of it, while it flies.
ship=$(probe findclass "warp ship window class" 5000)
check "the ship window came" "$([ -n "$ship" ] && echo yes)" yes
ship_out=$([ -n "$ship" ] && app_probe sweep "$ship" 0x400 0x7FF)
echo "ship sweep: $ship_out"
# A forged UM_WARP_SHIP_RUN that were played would take the morph's time.
check "the ship answers every message at once (plays no forged run)" \
  "$(echo "$ship_out" | awk '/^sent/ {print ($NF < 1000) ? "yes" : "no"}')" yes
check "the program outlived the sweep of the ship" "$(alive)" yes
wait_until 15000 "11" enabled_pair
check "the run ended" "$(enabled_pair)" "11"
check "ENGAGE still warps the selected window" "$(info_field "$(probe find "Bait 1" 1000)" iconic)" "1"
check "no coil is left" "$(probe count-title 'warp1!')" "0"
check "the program still runs" "$(alive)" yes

e2e_finish
