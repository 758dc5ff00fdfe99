#!/usr/bin/env bash
# Start-up, single instance, the commands that close the dialog, the greying
# of ENGAGE and REFRESH LIST, and the version check.
source "$(dirname "$0")/lib.sh" "$1"

process_ends_within() { # PID SECONDS
  local end=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do [ $SECONDS -ge $end ] && return 1; sleep 0.1; done
  return 0
}

start_app
check "dialog class" "$(info_field "$APP" class)" "#32770"
check "dialog has no taskbar style" "$(( $(probe info "$APP" | sed -E 's/.*exstyle=(0x[0-9a-f]+).*/\1/') & 0x40000 ))" "0"

# A second copy ends at once, shows nothing, and leaves the first alone.
wine "$EXE" >/dev/null 2>&1 &
second=$!
process_ends_within $second 15 && ended=yes || ended=no
check "second copy ends by itself" "$ended" "yes"
check "still exactly one Tachyrama window" "$(probe count-title Tachyrama)" "1"
check "second copy showed no box" "$(probe dialogs-except "$APP")" ""

# UM_ENABLE_COMMANDS greys exactly ENGAGE and REFRESH LIST.
probe send "$APP" 1036 0 0 >/dev/null
states=""
for id in 1000 1003 1001 1008 1009 1002; do states+="$(info_field "$(control $id)" enabled)"; done
check "lParam 0 greys ENGAGE and REFRESH LIST only" "$states" "001111"
probe send "$APP" 1036 0 1 >/dev/null
states=""
for id in 1000 1003; do states+="$(info_field "$(control $id)" enabled)"; done
check "lParam 1 enables them again" "$states" "11"

# ABOUT goes through the command handler to the About box; CONFIRM closes it.
click_button 1009
about=""
for _ in $(seq 50); do about=$(probe dialogs-except "$APP" | head -n1); [ -n "$about" ] && break; sleep 0.1; done
check "ABOUT opens a box" "$([ -n "$about" ] && echo yes)" "yes"
[ -n "$about" ] && check "the box shows name and stage" "$(probe text "$(probe item "$about" 1004)")" "Tachyrama   stage 002"
[ -n "$about" ] && probe post "$about" 0x111 1 0 >/dev/null
[ -n "$about" ] && probe wait-gone "$about" 5000 && check "CONFIRM closes the box" yes yes

# CLOSE goes through the command handler to WM_CLOSE and ends the program.
click_button 1008
process_ends_within $APP_PID 15 && ended=yes || ended=no
check "CLOSE ends the program" "$ended" "yes"

# Escape ends it too, without the farewell picture (static 1013); WM_CLOSE
# shows the picture for about 700 ms, then ends it.
farewell_ms() { probe visible-ms "$(control 1013)" 15000 "$@" | sed -n 's/^visible //p'; }
start_app
shown=$(farewell_ms key "$APP" 27)
process_ends_within $APP_PID 15 && ended=yes || ended=no
check "Escape ends the program" "$ended" "yes"
check "Escape shows no farewell picture (visible ${shown:-?} ms)" "$shown" "0"
start_app
shown=$(farewell_ms post "$APP" 0x10 0 0)
process_ends_within $APP_PID 15 && ended=yes || ended=no
check "WM_CLOSE ends the program" "$ended" "yes"
check "WM_CLOSE shows the farewell picture for about 700 ms (${shown:-?} ms)" \
  "$([ -n "$shown" ] && [ "$shown" -ge 600 ] && [ "$shown" -le 1500 ] && echo yes)" "yes"

# On a system older than Windows 2000 only the version error box appears.
key='HKCU\Software\Wine\AppDefaults\Tachyrama.exe'
for version in nt40 win98; do
  wine reg add "$key" /v Version /d $version /f >/dev/null 2>&1
  wine "$EXE" >/dev/null 2>&1 &
  pid=$!
  box=$(probe find "version error" 15000)
  check "$version: version error box" "$([ -n "$box" ] && echo yes)" "yes"
  if [ -n "$box" ]; then
    check "$version: box text" "$(probe text "$(probe item "$box" 0xFFFF)")" \
      "This program needs a platform of Windows 2000 or later."
    check "$version: no dialog" "$(probe count-title Tachyrama)" "0"
    probe post "$box" 0x111 1 0 >/dev/null # OK
  fi
  process_ends_within $pid 15 && ended=yes || ended=no
  check "$version: program ends after the box" "$ended" "yes"
done
wine reg delete "$key" /f >/dev/null 2>&1

e2e_finish
