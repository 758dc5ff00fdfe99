#!/usr/bin/env bash
# A command that another program sends while the dialog stops its engage
# worker. The run's first window does not answer, so the worker is held in
# its warp when the list's double-click restarts the run: posted, and 20 ms
# later sent, as a tool does that repeats a command. The sent one must wait
# until the stop is over: the restart's window is warped, the commands come
# back, posted messages are still handled and the program closes at once.
source "$(dirname "$0")/lib.sh" "$1"

e2e_run_unmanaged

start_targets "Nest 2" "title=Nest,x=100,y=320,w=300,h=220,color=2040C0,count=2"
start_app
sleep 0.5
# Opened last, so listed first: the worker takes it first.
wine "$TARGETWIN" hang=2000 "title=Stuck,x=500,y=300,w=300,h=220,color=C04020" >/dev/null 2>&1 &
stuck=$(probe find Stuck 20000)
refresh_list
list=$(control $LIST)
check "three targets selected" "$(select_titled Stuck)$(select_titled Nest)" "12"
# A send to it fails (within its 5-s limit) once it no longer answers.
hung=no
for _ in $(seq 20); do probe send "$stuck" 0 0 0 >/dev/null || { hung=yes; break; }; sleep 0.2; done
check "the first target no longer answers" "$hung" "yes"

# The probe starts watching before the click, and double-clicks the list the
# moment the worker has taken the window that does not answer.
out=$(mktemp)
wine "$PROBE" restart-when-taken "$APP" "$list" Stuck "Nest 2" >"$out" 2>/dev/null &
restart=$!
click_button $ENGAGE
wait $restart
check "the double-click, posted and then sent, is answered" "$(tr -d '\r' <"$out")" "answered"
rm -f "$out"

nest2=$(probe find "Nest 2" 1000)
wait_until 30000 1 info_field "$nest2" iconic
check "the restart's window is warped" "$(info_field "$nest2" iconic)" "1"
wait_until 30000 "11" enabled_pair
check "ENGAGE and REFRESH LIST come back after the run" "$(enabled_pair)" "11"
UM_ENABLE_COMMANDS=$((0x400 + 12))
probe post "$APP" $UM_ENABLE_COMMANDS 0 0 >/dev/null
wait_until 5000 "00" enabled_pair
check "a posted message is still handled" "$(enabled_pair)" "00"
probe post "$APP" $UM_ENABLE_COMMANDS 0 1 >/dev/null
wait_until 5000 "11" enabled_pair
check "and the next one" "$(enabled_pair)" "11"
check "the window left out of the restart was not warped" "$(iconic_count Nest 2)" "1"

probe post "$APP" 0x10 0 0 >/dev/null # WM_CLOSE
ended=no
for _ in $(seq 50); do kill -0 "$APP_PID" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
check "the program closes within 5 s" "$ended" "yes"

e2e_finish
