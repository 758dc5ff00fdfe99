#!/usr/bin/env bash
# Repeats the restart case of e2e_engage (four windows, ENGAGE, a double-click
# on the list while the first ship flies) N times and, at the moment the
# commands come back, counts the coil windows. Where one is found it looks
# again a moment later, to tell a coil window that outlives the run from a
# look that came before the run was over.
#   bash tests/e2e/engage_restart.sh BUILD_DIR [N]      (default 30)
source "$(dirname "$0")/lib.sh" "$1"
N=${2:-30}

e2e_run_unmanaged
e2e_start_compositor

# As in e2e_engage: polls until no coil is left and the commands are back.
watch_coils() {
  local end=$(( $(date +%s%N) / 1000000 + $1 )) n
  while [ $(( $(date +%s%N) / 1000000 )) -lt $end ]; do
    n=$(probe count-title 'warp1!')
    [ "$n" -eq 0 ] && [ "$(enabled_pair)" == "11" ] && break
  done
}

start_app
sleep 0.5
clean=0 raced=0 outlived=0
for i in $(seq "$N"); do
  start_targets "R$i 4" "title=R$i,x=100,y=320,w=300,h=220,color=2040C0,count=4"
  refresh_list
  picked=$(select_titled "R$i")
  engage_and_double_click_in_flight || echo "run $i: the double-click missed the first ship"
  watch_coils 20000
  wait_until 5000 "11" enabled_pair
  now=$(probe count-title 'warp1!')
  if [ "$now" == "0" ]; then
    clean=$((clean + 1)); verdict=clean
  else
    # Windows minimised then and later: more later means the run was still
    # going when the commands came back.
    iconic_then=$(iconic_count "R$i" 4)
    sleep 2
    later=$(probe count-title 'warp1!')
    runs="minimised $iconic_then, then $(iconic_count "R$i" 4)"
    if [ "$later" == "0" ]; then raced=$((raced + 1)); verdict="raced ($now coil, then 0; $runs)"
    else outlived=$((outlived + 1)); verdict="outlived ($now coil, then $later; $runs)"; fi
  fi
  echo "run $i: $picked selected, $verdict"
  for k in 1 2 3 4; do
    h=$(probe find "R$i $k" 500)
    [ -n "$h" ] && probe post "$h" 0x10 0 0 >/dev/null
  done
done
echo "$N runs: $clean clean, $raced raced the run, $outlived with a coil left"
check "a coil is left when the commands come back" "$((raced + outlived))" "0"
e2e_finish
