#!/usr/bin/env bash
# The program on a desktop whose compositor is on, as Windows 8 to 11 always
# have it: the stand-in dwmapi.dll in the system directory answers for it
# (composition on; cloaked windows and visible frames as the target windows'
# properties say, see dwmstandin/StandinProps.h). Cloaked windows are left
# out of the list; a window whose resize border reaches off the screen's left
# edge is listed by its visible frame; the cloak popup and the ship lie on
# the visible frame; nothing is left behind. Without the stand-in the same
# windows are listed as a system without a compositor lists them.
# A prefix of its own: the stand-in goes into its system directory, the one
# place the program takes dwmapi.dll from, and so for every program there.
# Emulated, another one: a prefix booted where 32-bit code cannot run lacks
# its 32-bit half.
TACHY_WINEPREFIX="$(cd "$(dirname "$0")/../.." && pwd)/build/wineprefix-compositor${TACHY_EMULATED:+-emulated}"
export TACHY_WINEPREFIX
source "$(dirname "$0")/lib.sh" "$1"

# Effects hide and destroy windows: without a window manager each would cost
# the UI thread 2 s.
e2e_run_unmanaged

# The system directory of the build's programs: a 32-bit one in a 64-bit
# prefix has its own. Wine's dwmapi.dll is kept aside once, and put back at
# the start of every run. Files are replaced by a rename, never overwritten
# where a running program may have them mapped.
STANDIN="$E2E_BUILD/tests/e2e/dwmstandin/dwmapi.dll"
pe_machine() { od -An -tx2 -j$(($(od -An -tu4 -j60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' '; }
sysdir=system32
[ "$(pe_machine "$STANDIN")" == 014c ] && [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && sysdir=syswow64
SYSTEM_DWMAPI="$WINEPREFIX/drive_c/windows/$sysdir/dwmapi.dll"
WINE_DWMAPI="$WINEPREFIX/wine-$sysdir-dwmapi.dll"
[ -f "$WINE_DWMAPI" ] || cp "$SYSTEM_DWMAPI" "$WINE_DWMAPI"
put_dwmapi() { cp "$1" "$SYSTEM_DWMAPI.new" && mv -f "$SYSTEM_DWMAPI.new" "$SYSTEM_DWMAPI"; }
put_dwmapi "$WINE_DWMAPI"
start_app_composed() { # told to take the native DLL, too, as a user would
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;dwmapi=n,b" start_app
}
stop_app() {
  probe post "$APP" 0x10 0 0 >/dev/null # WM_CLOSE
  probe wait-gone "$APP" 10000
}

# Resize borders as Windows 10 draws them: 7 px left, right and below.
BORDER=7:0:7:7
start_targets "Framed" "title=Shown,x=420,y=420,w=200,h=120,color=20A060" \
  "title=Cloaked,x=420,y=40,w=200,h=120,color=A02060,cloaked" \
  "title=Snapped,x=-7,y=300,w=320,h=240,color=C04020,inset=$BORDER" \
  "title=Framed,x=100,y=40,w=260,h=180,color=2060C0,picture,inset=$BORDER"
SNAPPED_FRAME=0,300,306,533
FRAMED_FRAME=107,40,353,213

listed() { # TITLE: 1 when the list has an item of exactly that text
  probe list-texts "$LISTBOX" | grep -cxF "$1"
}
listing() { for t in Shown Cloaked Snapped Framed; do echo "$t=$(listed "$t")"; done | paste -sd ' '; }

# --- Plain Wine: no compositor, so nothing is cloaked and every window is
# judged by its window rectangle.
start_app
LISTBOX=$(control $LIST)
refresh_list
check "without the stand-in: listed as without a compositor" "$(listing)" \
  "Shown=1 Cloaked=1 Snapped=0 Framed=1"
stop_app
check "the plain program has ended" "$?" "0"

# --- The stand-in answers as the targets' properties say, in any process.
put_dwmapi "$STANDIN"
answers() { app_probe dwm-answers "$STANDIN" "$(probe find "$1" 1000)"; }
check "the stand-in: Cloaked is cloaked" "$(answers Cloaked)" \
  "composition=1 cloaked=2 frame=$(info_field "$(probe find Cloaked 1000)" rect)"
check "the stand-in: Snapped's frame lies inside its window rectangle" "$(answers Snapped)" \
  "composition=1 cloaked=0 frame=$SNAPPED_FRAME"

# --- With the compositor on.
start_app_composed
LISTBOX=$(control $LIST)
refresh_list
check "with the compositor: the cloaked window is left out, the snapped one listed" \
  "$(listing)" "Shown=1 Cloaked=0 Snapped=1 Framed=1"

select_only() { probe send "$LISTBOX" 0x185 0 -1 >/dev/null; select_titled "$1" >/dev/null; }
# Clicks BUTTON and prints the rectangle of the window titled TITLE as it is
# first shown: a probe watches from before the click, for effect windows
# live only a second or two.
rect_when_shown() { # TITLE BUTTON
  local out pid
  out=$(mktemp)
  probe first-rect "$1" 20000 >"$out" &
  pid=$!
  sleep 0.3
  click_button "$2"
  wait $pid
  cat "$out"
  rm -f "$out"
}

# CLOAK lays its popup exactly over the visible frame.
select_only Framed
check "the cloak popup lies exactly on the visible frame" "$(rect_when_shown 'cloaking!' $CLOAK)" \
  "$FRAMED_FRAME"
wait_until 20000 0 probe count-title 'cloaking!'
check "the cloaked target is minimised" "$(info_field "$(probe find Framed 1000)" iconic)" "1"

# ENGAGE: the ship's window is the union of the coil's centre and R, the
# target's visible frame. The coil's centre lies up and to the right of the
# target (at least 883 across and at most 276 down on this screen), so the
# ship shows R's left and bottom edges and reaches past its top and right.
refresh_list
select_only Snapped
IFS=, read -r sl st sr sb <<<"$(rect_when_shown 'engage!' $ENGAGE)"
IFS=, read -r fl ft fr fb <<<"$SNAPPED_FRAME"
check "the ship starts from the visible frame's left and bottom edges" "$sl,$sb" "$fl,$fb"
check "the ship reaches past the frame's top and right edges, toward the coil" \
  "$({ [ "$st" -lt "$ft" ] && [ "$sr" -gt "$fr" ]; } 2>/dev/null && echo yes)" "yes"
wait_until 30000 11 enabled_pair
check "the engaged target is minimised" "$(info_field "$(probe find Snapped 1000)" iconic)" "1"
check "nothing is left behind: no popup, coil or ship" "$(probe effects)" "0 0 0"

e2e_finish
