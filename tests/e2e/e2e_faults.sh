#!/usr/bin/env bash
# Fault runs: targets that close, hang, go busy when hidden, are huge, tiny,
# off the top left corner or minimised behind the list's back; the program
# closed in the middle of an effect; a second copy started in the middle of
# one. Every case must end without a crash, within its bounded wait, with no
# effect window left and each target either minimised or untouched. Prints
# a table.
source "$(dirname "$0")/lib.sh" "$1"

# Unmanaged windows: the cases keep to their own pace.
e2e_run_unmanaged

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
effects() { probe effects; }
app_answers() { probe ping "$APP" 2000 >/dev/null && echo yes || echo no; }
app_running() { kill -0 "$APP_PID" 2>/dev/null && echo yes || echo no; }
# minimised | untouched | hidden (lost: neither) | gone
target_state() {
  local h=$1
  [ -z "$h" ] || [ -z "$(info_field "$h" class)" ] && { echo gone; return; }
  if [ "$(info_field "$h" iconic)" == "1" ]; then echo minimised
  elif [ "$(info_field "$h" visible)" == "1" ]; then echo untouched
  else echo hidden; fi
}
# Selects the list items that start with TITLE after a refresh; prints how many.
refresh_select() {
  click_button $REFRESH
  sleep 0.4
  probe list-select-prefix "$(control $LIST)" "$1"
}
# Waits until the effect windows differ from "0 0 0"; prints the ms it took.
wait_effect_shown() {
  local t0; t0=$(now_ms)
  while [ "$(effects)" == "0 0 0" ] && [ $(( $(now_ms) - t0 )) -lt "$1" ]; do sleep 0.05; done
  echo $(( $(now_ms) - t0 ))
}
# Whether the posted command shows yet: greyed commands or an effect window.
busy() { { [ "$(enabled_pair)" != 11 ] || [ "$(effects)" != "0 0 0" ]; } && echo yes || echo no; }
# Waits, with the program running, for ENGAGE and REFRESH LIST enabled again,
# then for no effect window; fails when either has not come by the end. The
# command was posted, so first it must have been taken (a few seconds at
# most: a quick run can be over before the first look). The commands come
# back only after the last cloak has been prepared, while its popup may not
# show before then, so the effect windows are counted after.
wait_settled() {
  local ok=0
  if [ "$(app_running)" == yes ]; then
    wait_until 3000 yes busy
    wait_until "$1" "11" enabled_pair || ok=1
  fi
  wait_until "$1" "0 0 0" effects || ok=1
  return $ok
}

# FAULTS_ONLY=REGEX runs only the cases whose name matches.
selected() { [ -z "${FAULTS_ONLY:-}" ] || grep -qE "$FAULTS_ONLY" <<<"$1"; }

ROWS=()
# row CASE VERDICT SECONDS DETAIL
row() {
  ROWS+=("$(printf '%-34s %-5s %6s  %s' "$1" "$2" "$3" "$4")")
  if [ "$2" == "ok" ]; then E2E_PASSED=$((E2E_PASSED + 1)); else E2E_FAILED=$((E2E_FAILED + 1)); fi
  echo "${ROWS[-1]}"
}
# judge CASE T0 STATE... : the common verdict once a case has settled.
# STATES lists the acceptable target states ("minimised untouched", ...).
judge() {
  local name=$1 t0=$2 target=$3 ok_states=$4 limit_s=$5
  local secs=$(( ($(now_ms) - t0 + 500) / 1000 ))
  local fx state alive why=""
  fx=$(effects)
  state=$([ -n "$target" ] && target_state "$target" || echo none)
  alive=$([ "$(app_running)" == yes ] && app_answers || echo ended)
  [ "$fx" != "0 0 0" ] && why+=" effect windows left ($fx)"
  [ "$alive" == "no" ] && why+=" the dialog does not answer"
  local pair; [ "$alive" == yes ] && pair=$(enabled_pair) && [ "$pair" != 11 ] &&
    why+=" ENGAGE/REFRESH LIST not enabled again ($pair)"
  [ -n "$target" ] && ! grep -qw "$state" <<<"$ok_states" && why+=" target $state"
  [ "$secs" -gt "$limit_s" ] && why+=" took longer than ${limit_s} s"
  row "$name" "$([ -z "$why" ] && echo ok || echo FAIL)" "$secs" "target $state, program ${alive/yes/answers}${why:+ ;$why}"
}

# One effect on one fresh target. fault_case NAME CMD WINDOW HOW OK_STATES LIMIT
#   HOW: close-mid | hang | moved-off | minimised | plain
fault_case() {
  selected "$1" || return 0
  local name=$1 cmd=$2 desc=$3 how=$4 ok_states=$5 limit=$6
  local title=${desc#title=}; title=${title%%,*}
  local extra=()
  [ "$how" == hang ] && extra=(hang=2500)
  start_targets "$title" "$desc" "${extra[@]}"
  local h; h=$(probe find "$title" 5000)
  if [ "$(refresh_select "$title")" != "1" ]; then
    row "$name" FAIL 0 "target not listed"; return
  fi
  case $how in
    hang) sleep 2.6; probe ping "$h" 300 >/dev/null && echo "note: $title still answers" ;;
    moved-off) probe move "$h" -150 -120 >/dev/null; sleep 0.3 ;;
    minimised) probe show "$h" 6; sleep 0.5 ;;
  esac
  local t0; t0=$(now_ms)
  click_button "$cmd"
  if [ "$how" == close-mid ]; then
    wait_effect_shown 20000 >/dev/null
    sleep 0.2
    probe post "$h" 0x10 0 0 >/dev/null
  fi
  wait_settled $((limit * 1000))
  judge "$name" "$t0" "$h" "$ok_states" "$limit"
  [ "$how" == hang ] && probe kill-owner "$h" >/dev/null 2>&1
  [ "$(target_state "$h")" != gone ] && probe post "$h" 0x10 0 0 >/dev/null
}

# Ends the program in the middle of an effect. close_mid NAME CMD
close_mid() {
  selected "$1" || return 0
  local name=$1 cmd=$2 title="Quit${2}"
  start_targets "$title 3" "title=$title,x=80,y=120,w=360,h=260,color=40A0C0,count=3"
  refresh_select "$title" >/dev/null
  local t0; t0=$(now_ms)
  click_button "$cmd"
  wait_effect_shown 20000 >/dev/null
  probe post "$APP" 0x10 0 0 >/dev/null
  for _ in $(seq 150); do [ "$(app_running)" == no ] && break; sleep 0.1; done
  sleep 0.3
  local states="" k
  for k in 1 2 3; do states+="$(target_state "$(probe find "$title $k" 1000)") "; done
  local bad=""; grep -qw -e hidden -e gone <<<"$states" && bad=" target lost"
  local secs=$(( ($(now_ms) - t0 + 500) / 1000 )) fx; fx=$(effects)
  local why=""
  [ "$(app_running)" == yes ] && why+=" still running after 15 s"
  [ "$fx" != "0 0 0" ] && why+=" effect windows left ($fx)"
  why+=$bad
  row "$name" "$([ -z "$why" ] && echo ok || echo FAIL)" "$secs" "targets: ${states% }${why:+ ;$why}"
  start_app
}

# A second copy started in the middle of an effect leaves at once; the first
# finishes its run. second_copy NAME CMD
second_copy() {
  selected "$1" || return 0
  local name=$1 cmd=$2 title="Second${2}"
  start_targets "$title" "title=$title,x=120,y=140,w=340,h=240,color=C0A040"
  local h; h=$(probe find "$title" 5000)
  refresh_select "$title" >/dev/null
  local t0; t0=$(now_ms)
  click_button "$cmd"
  wait_effect_shown 20000 >/dev/null
  wine "$EXE" >/dev/null 2>&1 &
  local second=$! ended=no
  for _ in $(seq 100); do kill -0 $second 2>/dev/null || { ended=yes; break; }; sleep 0.1; done
  local dialogs; dialogs=$(probe count-title Tachyrama)
  wait_settled 20000
  judge "$name" "$t0" "$h" "minimised" 20
  if [ "$ended" != yes ] || [ "$dialogs" != 1 ]; then
    ROWS[-1]="${ROWS[-1]/ ok / FAIL }; second copy ended: $ended, dialogs: $dialogs"
    E2E_PASSED=$((E2E_PASSED - 1)); E2E_FAILED=$((E2E_FAILED + 1))
    echo "${ROWS[-1]}"
  fi
  probe post "$h" 0x10 0 0 >/dev/null
}

# A target that answers until it is hidden, then stays busy for 20 s inside
# WM_SHOWWINDOW. No thread of the program may wait for it: during a CLOAK
# the dialog's message loop keeps running (a posted message's wait shows a
# stall that a sent ping cannot), closing the dialog during an ENGAGE ends
# the program within a few seconds, no effect window is left, and the target
# ends minimised once it answers again. busy_case NAME CMD
busy_case() {
  selected "$1" || return 0
  local name=$1 cmd=$2 title="Busy${2}" why=""
  start_targets "$title" "title=$title,x=90,y=90,w=300,h=200,color=40C0C0" busyhide=20000
  local h; h=$(probe find "$title" 5000)
  if [ "$(refresh_select "$title")" != "1" ]; then
    row "$name" FAIL 0 "target not listed"; return
  fi
  local t0 lat=0 detail
  t0=$(now_ms)
  if [ "$cmd" == "$CLOAK" ]; then
    probe post-latency "$(control $LIST)" 6000 >"$ARTEFACTS/busy_latency.txt" &
    local watch=$!
    sleep 0.2
    click_button "$cmd"
    wait $watch
    lat=$(cat "$ARTEFACTS/busy_latency.txt")
    wait_settled 10000
    [ "${lat:-99999}" -lt 5000 ] || why+=" a posted message waited ${lat} ms"
    [ "$(effects)" != "0 0 0" ] && why+=" effect windows left ($(effects))"
    [ "$(app_answers)" == yes ] || why+=" the dialog does not answer"
    detail="longest posted wait ${lat} ms"
  else
    click_button "$cmd"
    wait_effect_shown 20000 >/dev/null
    sleep 0.5 # the target is hidden by now, and busy
    local tc; tc=$(now_ms)
    probe post "$APP" 0x10 0 0 >/dev/null
    for _ in $(seq 150); do [ "$(app_running)" == no ] && break; sleep 0.1; done
    local took=$(( $(now_ms) - tc ))
    [ "$(app_running)" == yes ] && why+=" still running after 15 s"
    [ "$took" -lt 5000 ] || why+=" closing took ${took} ms"
    [ "$(effects)" != "0 0 0" ] && why+=" effect windows left ($(effects))"
    detail="closing took ${took} ms"
  fi
  # Once it answers again it handles the hide and the minimise it was given.
  wait_until 30000 minimised target_state "$h" || why+=" target $(target_state "$h") after it answered again"
  local secs=$(( ($(now_ms) - t0 + 500) / 1000 ))
  row "$name" "$([ -z "$why" ] && echo ok || echo FAIL)" "$secs" "$detail, target $(target_state "$h")${why:+ ;$why}"
  probe post "$h" 0x10 0 0 >/dev/null
  [ "$(app_running)" == yes ] || start_app
}

start_app
sleep 0.5

fault_case "CLOAK: target closes mid-fade"   $CLOAK  "title=CloseC,x=60,y=80,w=320,h=220,color=FF4040"   close-mid "gone" 10
fault_case "ENGAGE: target closes mid-warp"  $ENGAGE "title=CloseE,x=60,y=80,w=320,h=220,color=40FF40"   close-mid "gone" 15
fault_case "CLOAK: target hangs"             $CLOAK  "title=HangC,x=90,y=90,w=300,h=200,color=4040FF"    hang "minimised untouched" 15
fault_case "ENGAGE: target hangs"            $ENGAGE "title=HangE,x=90,y=90,w=300,h=200,color=FF40FF"    hang "minimised untouched" 15
fault_case "CLOAK: huge target 4000x3000"    $CLOAK  "title=HugeC,x=0,y=0,w=4000,h=3000,color=808040"    plain "minimised untouched" 60
fault_case "ENGAGE: huge target 4000x3000"   $ENGAGE "title=HugeE,x=0,y=0,w=4000,h=3000,color=408080"    plain "minimised" 60
fault_case "CLOAK: tiny target 1x1"          $CLOAK  "title=TinyC,x=200,y=200,w=1,h=1,popup"             plain "minimised" 10
fault_case "ENGAGE: tiny target 1x1"         $ENGAGE "title=TinyE,x=200,y=200,w=1,h=1,popup"             plain "minimised" 15
fault_case "CLOAK: target at (-150,-120)"    $CLOAK  "title=NegC,x=100,y=100,w=320,h=240,color=A0A0A0"   moved-off "minimised" 10
fault_case "ENGAGE: target at (-150,-120)"   $ENGAGE "title=NegE,x=100,y=100,w=320,h=240,color=606060"   moved-off "minimised" 15
fault_case "CLOAK: minimised after refresh"  $CLOAK  "title=MinC,x=100,y=100,w=320,h=240,color=20C0C0"   minimised "minimised" 10
fault_case "ENGAGE: minimised after refresh" $ENGAGE "title=MinE,x=100,y=100,w=320,h=240,color=C02020"   minimised "minimised" 15
busy_case "CLOAK: target busy when hidden"    $CLOAK
busy_case "ENGAGE: closed, target busy"       $ENGAGE
second_copy "CLOAK: second copy started"  $CLOAK
second_copy "ENGAGE: second copy started" $ENGAGE
close_mid "CLOAK: program closed mid-fade"  $CLOAK
close_mid "ENGAGE: program closed mid-warp" $ENGAGE

echo
printf '%-34s %-5s %6s  %s\n' "case" "result" "s" "detail"
printf '%s\n' "${ROWS[@]}" | tee "$ARTEFACTS/faults.txt"
echo
e2e_finish
