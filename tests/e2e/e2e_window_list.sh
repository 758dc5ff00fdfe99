#!/usr/bin/env bash
# The window list against real windows of other programs: exactly the
# qualifying windows, in enumeration order, with their titles; REFRESH LIST
# rebuilds it; at most 100; items 40 pixels high; white text on black.
source "$(dirname "$0")/lib.sh" "$1"

SCREEN_W=1024
SCREEN_H=768

# What the list should show, worked out from outside: every visible
# top-level window with a title whose top-left corner lies on the screen,
# in enumeration order, except the dialog and the window of the tray icons.
# (Wine cannot tell another process's class icon, so there every such window
# has one.)
expected_titles() {
  probe windows-ansi | awk -F'\t' -v app="$APP" -v tray="$TRAY" -v w=$SCREEN_W -v h=$SCREEN_H '
    {
      split($1, f, " ")
      if (f[1] == app || f[1] == tray || f[2] != 1 || $2 == "") next
      if (f[3] < 0 || f[4] < 0 || f[3] > w || f[4] > h) next
      print $2
    }' | cut_titles
}

# Wine lets another process read only about 767 characters of a list item,
# so titles are compared up to 700 (the cut at 1023 is checked in-process by
# the Windows-side test).
cut_titles() { cut -c1-700; }
listed() { probe list-texts "$LIST" | cut_titles; }

refresh() {
  click_button 1003
  sleep 0.5
}

# Real programs, and targets placed where the rules have something to say.
wine notepad >/dev/null 2>&1 &
wine winemine >/dev/null 2>&1 &
wine regedit >/dev/null 2>&1 &
start_targets "Target Minimised" \
  "title=Target Alpha,x=600,y=80,color=2060C0" \
  "title=Target NoIcon,noicon,x=640,y=400,color=20A060" \
  "title=Target Hidden,hidden" \
  "title=,x=700,y=300" \
  "title=Target Left,x=-20,y=100" \
  "title=Target Above,x=100,y=-1" \
  "title=Target Edge,x=$SCREEN_W,y=$SCREEN_H" \
  "title=Target Beyond,x=$((SCREEN_W + 1)),y=0" \
  "title=Target Below,x=0,y=$((SCREEN_H + 1))" \
  "title=Target Minimised,x=300,y=500" \
  "title=Gr$(printf '\xc3\xbc')n $(printf '\xe2\x86\x92') Ziel,x=660,y=200,color=A04020" \
  "title=Target Long $(printf 'abcdefgh%.0s' $(seq 150)),x=620,y=120"
probe find "Untitled - Notepad" 10000 >/dev/null
probe find "WineMine" 10000 >/dev/null
probe find "Registry Editor" 10000 >/dev/null
probe show "$(probe find "Target Minimised")" 6 # SW_MINIMIZE

start_app
LIST=$(control 1002)
# With no notification area on the display, Wine shows the tray icons, the
# program's own among them, in a titled window of their own.
TRAY=$(probe find "Wine System Tray" 5000)
check "Wine's window of the tray icons is shown" "$(info_field "$TRAY" class),$(info_field "$TRAY" visible)" \
  "__winex11_standalone_tray,1"
refresh
check "the list shows the qualifying windows in enumeration order" "$(listed)" "$(expected_titles)"
for title in "Untitled - Notepad" WineMine "Registry Editor" "Target Alpha" "Target Edge"; do
  check "$title is listed" "$(listed | grep -cxF "$title")" "1"
done
for title in Tachyrama "Wine System Tray" "Target Hidden" "Target Left" "Target Above" \
  "Target Beyond" "Target Below" "Target Minimised"; do
  check "$title is not listed" "$(listed | grep -cxF "$title")" "0"
done
check "nothing untitled is listed" "$(listed | grep -c '^$')" "0"
check "every item is 40 pixels high" "$(probe list-heights "$LIST" | sort -u)" "40"

# The screenshot: the dialog on top, white titles on black with the icons.
probe to-front "$APP" >/dev/null
sleep 0.5
screenshot window_list
read -r l t r b <<<"$(info_field "$LIST" rect | tr ',' ' ')"
row=$(convert "$ARTEFACTS/window_list.png" -crop "$((r - l - 40))x36+$((l + 40))+$((t + 2))" \
  -format '%c' histogram:info:- 2>/dev/null)
check "an item row is black" "$(grep -c '#000000' <<<"$row")" "1"
check "an item row has white text" "$(grep -c '#FFFFFF' <<<"$row")" "1"

# REFRESH LIST rebuilds the list: windows gone and come are reflected.
probe post "$(probe find "Target Alpha")" 0x10 0 0 >/dev/null
probe wait-gone "$(probe find "Target Alpha")" 5000 2>/dev/null
start_targets "Target Late" "title=Target Late,x=610,y=90"
check "before a refresh the list is as it was" "$(listed | grep -cxF "Target Late")" "0"
refresh
check "after REFRESH LIST: as enumerated now" "$(listed)" "$(expected_titles)"
check "the closed window is gone" "$(listed | grep -cxF "Target Alpha")" "0"
check "the new window is there" "$(listed | grep -cxF "Target Late")" "1"

# More than 100 qualifying windows: exactly the first 100.
start_targets "Many 110" "title=Many,count=110,x=120,y=120"
probe find "Many 110" 10000 >/dev/null
refresh
check "at most 100 windows are listed" "$(listed | wc -l)" "100"
check "they are the first 100 in enumeration order" "$(listed)" "$(expected_titles | head -n 100)"

e2e_finish
