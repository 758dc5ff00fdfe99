#!/usr/bin/env bash
# Start-up, single instance, the commands that close the dialog, the greying
# of ENGAGE and REFRESH LIST, the version check, and no DLL taken from the
# program's folder.
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

# No DLL lying beside the program is loaded in place of the system's: in a
# folder such as a download folder, a DLL that leaves a mark when loaded lies
# under the name of each system DLL the program loads or imports beyond the
# known ones, and of some that system DLLs load for it. The program starts
# there, lists the windows and cloaks one. (Wine takes its own comctl32.dll
# whatever lies beside the program; Windows would not: that DLL is kept out
# of the imports, which check_imports.sh checks.)
planted_dir="$E2E_BUILD/tests/e2e/planted_run"
rm -rf "$planted_dir"
mkdir -p "$planted_dir"
cp "$EXE" "$planted_dir/"
for name in dwmapi comctl32 psapi msimg32 shlwapi uxtheme version; do
  cp "$E2E_BUILD/tests/e2e/planted/planted.dll" "$planted_dir/$name.dll"
done
e2e_run_unmanaged
start_targets "Planted Target" "title=Planted Target,x=300,y=200,w=200,h=120,color=2060C0"
EXE="$planted_dir/Tachyrama.exe" start_app
refresh_list
check "the target is listed" "$(select_titled "Planted Target")" "1"
click_button $CLOAK
target_iconic() { info_field "$(probe find "Planted Target" 1000)" iconic; }
wait_until 20000 1 target_iconic
check "the target is cloaked" "$(target_iconic)" "1"
wait_until 20000 0 probe count-title 'cloaking!'
probe post "$APP" 0x10 0 0 >/dev/null # WM_CLOSE
process_ends_within $APP_PID 15
check "no DLL beside the program was loaded" "$(cd "$planted_dir" && ls -- *.loaded 2>/dev/null | paste -sd ' ')" ""

e2e_finish
