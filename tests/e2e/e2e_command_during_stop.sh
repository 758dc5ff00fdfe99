#!/usr/bin/env bash
# Commands that another program sends while the dialog carries out one: first
# while it stops its engage worker. The run's first window does not answer, so the worker is held in
# its warp when the list's double-click restarts the run: posted, and 20 ms
# later sent again, as a tool does that repeats a command (then CLOAK is sent
# instead). The sent one must wait until the stop is over: the restart's
# window gets its effect, the commands come back, posted messages are still
# handled and the program closes at once.
source "$(dirname "$0")/lib.sh" "$1"

e2e_run_unmanaged

# Opens a window titled $1 that stops answering 2 s later, and waits until it
# has. Opened last, it is listed first: a run takes it first.
start_hung_target() {
  wine "$TARGETWIN" hang=2000 "title=$1,x=500,y=300,w=300,h=220,color=C04020" >/dev/null 2>&1 &
  local h hung=no
  h=$(probe find "$1" 20000)
  refresh_list
  # A send to it fails (within its 5-s limit) once it no longer answers.
  for _ in $(seq 20); do probe send "$h" 0 0 0 >/dev/null || { hung=yes; break; }; sleep 0.2; done
  check "$1 no longer answers" "$hung" "yes"
}

# ENGAGE over the selection, and the moment the worker has taken the window
# $1, the window $2 alone selected and the list double-clicked: posted, then
# sent, or with $3 that button's click sent. The probe watches from before
# the click.
restart_during_stop() {
  local out pid
  out=$(mktemp)
  wine "$PROBE" restart-when-taken "$APP" "$(control $LIST)" "$1" "$2" ${3:-} >"$out" 2>/dev/null &
  pid=$!
  click_button $ENGAGE
  wait $pid
  check "the command sent during the stop is answered" "$(tr -d '\r' <"$out")" "answered"
  rm -f "$out"
}

# The restart's window $1 gets its effect and the commands come back.
check_restart_done() {
  local h
  h=$(probe find "$1" 1000)
  wait_until 30000 1 info_field "$h" iconic
  check "$1, the restart's window, got its effect" "$(info_field "$h" iconic)" "1"
  wait_until 30000 "11" enabled_pair
  check "ENGAGE and REFRESH LIST come back after the run" "$(enabled_pair)" "11"
}

start_targets "Nest 2" "title=Nest,x=100,y=320,w=300,h=220,color=2040C0,count=2"
start_app
sleep 0.5

# --- The double-click, posted and then sent.
start_hung_target Stuck
check "three targets selected" "$(select_titled Stuck)$(select_titled Nest)" "12"
restart_during_stop Stuck "Nest 2"
check_restart_done "Nest 2"
UM_ENABLE_COMMANDS=$((0x400 + 12))
probe post "$APP" $UM_ENABLE_COMMANDS 0 0 >/dev/null
wait_until 5000 "00" enabled_pair
greyed=$(enabled_pair)
probe post "$APP" $UM_ENABLE_COMMANDS 0 1 >/dev/null
wait_until 5000 "11" enabled_pair
check "posted messages are still handled" "$greyed$(enabled_pair)" "0011"
check "the window left out of the restart got no effect" "$(iconic_count Nest 2)" "1"

# --- The double-click posted, CLOAK sent: it must not take nothing and
# refresh the list under the restart, which would then find nothing selected.
start_hung_target Held
check "two targets selected" "$(select_titled Held)$(select_titled "Nest 1")" "11"
restart_during_stop Held "Nest 1" $CLOAK
check_restart_done "Nest 1"

# --- Commands sent by the targets themselves, the first time the dialog asks
# them whether they answer (in the middle of CLOAK's preparation of each):
# each must wait until that CLOAK is over, and none may be lost.
# Twelve windows, each of which sends CLOAK: ten are cloaked, one each, the
# eleventh finds the registry full and the twelfth stays as it was.
start_targets "Ping 12" pingsend=0x111:$CLOAK:0:0 \
  "title=Ping,x=40,y=60,w=160,h=120,color=30A060,count=12,popup"
refresh_list
check "twelve pinging targets selected" "$(select_titled Ping)" "12"
shown=$(mktemp)
wine "$PROBE" most-shown cloaking! 20000 >"$shown" 2>/dev/null &
shown_pid=$!
click_button $CLOAK
wait_until 20000 "10" iconic_count Ping 12
check "ten of the twelve pinging windows are minimised" "$(iconic_count Ping 12)" "10"
wait $shown_pid
check "each of them had its cloak" "$(tr -d '\r' <"$shown")" "10"
rm -f "$shown"
wait_until 10000 "11" enabled_pair
check "ENGAGE and REFRESH LIST come back after CLOAK" "$(enabled_pair)" "11"

# One window for each other command (a double-click, REFRESH LIST, ENGAGE,
# a click made by BM_CLICK, the About box through the system menu): every
# window is cloaked, and then each command is carried out; the About box
# opens once CLOAK is over.
BM_CLICK=0xF5
for cmd in "0x111:$(( (2 << 16) | LIST )):0:0" "0x111:$REFRESH:0:0" "0x111:$ENGAGE:0:0" \
  "$BM_CLICK:0:0:$CLOAK" "0x112:16:0:0"; do
  k=$(( ${k:-0} + 1 ))
  start_targets "Kind $k" pingsend=$cmd "title=Kind $k,x=$(( 60 * k )),y=400,w=150,h=110,popup"
done
sleep 2 # all cloaks of the twelve have faded
refresh_list
check "five targets sending other commands selected" "$(select_titled Kind)" "5"
click_button $CLOAK
about=""
for _ in $(seq 150); do about=$(probe dialogs-except "$APP" | head -n1); [ -n "$about" ] && break; sleep 0.1; done
wait_until 10000 "5" iconic_count Kind 5
check "every window sending a command is minimised" "$(iconic_count Kind 5)" "5"
check "the About box opened after CLOAK" "$([ -n "$about" ] && echo yes)" "yes"
[ -n "$about" ] && probe key "$about" 27 && probe wait-gone "$about" 5000
wait_until 20000 "11" enabled_pair
check "ENGAGE and REFRESH LIST come back after the commands" "$(enabled_pair)" "11"

probe post "$APP" 0x10 0 0 >/dev/null # WM_CLOSE
ended=no
for _ in $(seq 50); do kill -0 "$APP_PID" 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
check "the program closes within 5 s" "$ended" "yes"

e2e_finish
