#!/usr/bin/env bash
# Records the demo under docs/: docs/cloak.gif and docs/engage.gif (the two
# effects, recorded every 30 ms) and the stills docs/dialog.png,
# docs/about.png and docs/farewell.png.
#   scripts/demo.sh [OUTDIR]      (default docs)
# Runs on a private 1024x768 Xvfb with xcompmgr, so that per-pixel alpha
# blends as on a composited desktop, in a prefix of its own
# (build/demo/wineprefix) whose windows run unmanaged: with no window manager
# Wine would otherwise wait 2 s each time a shown window is hidden. Installs
# gcc and the X11 headers (libx11-dev) for its small screen grabber.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/docs}" && cd "${1:-$root/docs}" && pwd)
work=$root/build/demo
mkdir -p "$work"

# Build what is shown and the grabber.
"$root/scripts/deps.sh" demo || exit 1
if [ ! -f "$root/build/win32/build.ninja" ]; then "$root/scripts/build.sh" win32 || exit 1; fi
cmake --build "$root/build/win32" --target Tachyrama probe targetwin -- -j2 >/dev/null || exit 1
gcc -O2 -o "$work/xgrab" "$root/scripts/demo/xgrab.c" -lX11 || exit 1

export TACHY_WINEPREFIX=$work/wineprefix
unset DISPLAY # lib.sh then starts a private Xvfb, 1024x768x24
source "$root/tests/e2e/lib.sh" "$root/build/win32" >/dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
xcompmgr >/dev/null 2>&1 &
XCOMPMGR_PID=$!
GRAB_PID=""
demo_cleanup() {
  [ -n "$GRAB_PID" ] && kill "$GRAB_PID" 2>/dev/null
  kill "$XCOMPMGR_PID" 2>/dev/null
  e2e_cleanup
}
trap demo_cleanup EXIT

ABOUT=1009
CLOSE=1008
FAREWELL=1013

# Window layout: targets in the upper part of the screen (the coils appear
# near its upper right), the dialog at the lower left.
place() { probe place "$1" "$2" "$3" "$4" "$5" >/dev/null; }
item_of() { probe list-texts "$(control $LIST)" | grep -nxF "$1" | head -n1 | cut -d: -f1 | awk '{print $1 - 1}'; }
select_titles() {
  local idx
  for t in "$@"; do
    idx=$(item_of "$t")
    [ -n "$idx" ] && probe list-select "$(control $LIST)" "$idx" >/dev/null
  done
}
refresh() { click_button $REFRESH; sleep 0.6; }
count_title() { probe count-title "$1"; }

# Screen recording of the whole screen into numbered frames.
grab_start() { # NAME MAX_FRAMES
  rm -rf "${work:?}/$1"
  mkdir -p "$work/$1"
  "$work/xgrab" "$work/$1" 0 0 1024 768 30 "$2" &
  GRAB_PID=$!
}
grab_stop() {
  [ -n "$GRAB_PID" ] && kill "$GRAB_PID" 2>/dev/null && wait "$GRAB_PID" 2>/dev/null
  GRAB_PID=""
}
# Assembles the frames into a GIF that keeps the pace at which they were
# taken (GIF delays are in 1/100 s: rounded on the running total, so that no
# drift builds up), scaled to 60 %, with one shared palette and only the
# changed parts of each frame stored. The last frame stays 1.5 s.
make_gif() { # NAME
  local all=("$work/$1"/f*.ppm) frames=() t kept=() args=() i shown=0 next delay step
  mapfile -t t <"$work/$1/times.txt"
  # ImageMagick's cache limits hold about 200 frames of this size: on a slow
  # run keep every second (third...) frame, timed by when it was taken.
  step=$(( (${#all[@]} + 199) / 200 ))
  for ((i = 0; i < ${#all[@]}; i += step)); do frames+=("${all[$i]}"); kept+=("${t[$i]}"); done
  i=0
  for f in "${frames[@]}"; do
    next=${kept[$((i + 1))]:-}
    if [ -n "$next" ]; then
      delay=$(awk -v a="$shown" -v b="$next" 'BEGIN { printf "%d", b / 10 + 0.5 - a }')
    else
      delay=150
    fi
    args+=(-delay "$delay" "$f")
    shown=$((shown + delay))
    i=$((i + 1))
  done
  # Scaled one by one first: ImageMagick's cache limits would not hold a few
  # hundred full-size frames at once.
  mogrify -resize 60% "${frames[@]}"
  convert "${args[@]}" -dither None -colors 128 -layers Optimize -loop 0 "$out/$1.gif"
  echo "$out/$1.gif: ${#frames[@]} of ${#all[@]} frames, $(du -k "$out/$1.gif" | cut -f1) kB; pace $(
    awk 'NR > 1 { d = $1 - p; if (d > w) w = d; s += d; n++ } { p = $1 }
         END { if (n) printf "mean %.1f ms, worst %.1f ms", s / n, w }' "$work/$1/times.txt")"
}
still() { # NAME X Y W H
  import -window root -crop "$4x$5+$2+$3" +repage "$out/$1.png"
  echo "$out/$1.png"
}

# --- The windows.
start_targets Nebula "title=Starfield,x=30,y=40,w=400,h=290,picture" \
  "title=Nebula,x=600,y=420,w=380,h=280,picture"
wine notepad >/dev/null 2>&1 &
NOTEPAD=$(probe findclass Notepad 15000)
wine winemine >/dev/null 2>&1 &
MINE=$(probe findclass WineMine 15000)
place "$NOTEPAD" 600 70 400 260
place "$MINE" 460 60 160 226
start_app
IFS=, read -r l t r b <<<"$(info_field "$APP" rect)"
DIALOG_W=$((r - l)) DIALOG_H=$((b - t))
place "$APP" 10 380 $DIALOG_W $DIALOG_H
refresh
sleep 0.5

# --- The dialog.
still dialog 10 380 $DIALOG_W $DIALOG_H

# --- CLOAK on the picture and Notepad.
select_titles Starfield "Untitled - Notepad"
sleep 0.3
grab_start cloak 400
sleep 0.6
click_button $CLOAK
sleep 0.3
wait_until 15000 0 count_title 'cloaking!' || echo "demo: the cloaks did not end" >&2
sleep 0.8
grab_stop
make_gif cloak

# --- ENGAGE on the mines and the second picture.
refresh
select_titles WineMine Nebula
sleep 0.3
echo "list: $(probe list-texts "$(control $LIST)" | tr '\n' ';') selected: $(probe list-selected "$(control $LIST)" | tr '\n' ' ')"
grab_start engage 300
sleep 0.6
click_button $ENGAGE
sleep 0.5
wait_until 20000 11 enabled_pair || echo "demo: the run did not end" >&2
sleep 0.8
grab_stop
make_gif engage

# --- The About box, in front of the dialog.
click_button $ABOUT
about=""
for _ in $(seq 50); do
  about=$(probe dialogs-except "$APP" | head -n1)
  [ -n "$about" ] && break
  sleep 0.1
done
if [ -n "$about" ]; then
  place "$about" 300 250 "$(info_field "$about" rect | awk -F, '{print $3 - $1}')" \
    "$(info_field "$about" rect | awk -F, '{print $4 - $2}')"
  sleep 0.5
  IFS=, read -r l t r b <<<"$(info_field "$about" rect)"
  still about "$l" "$t" $((r - l)) $((b - t))
  probe post "$about" 0x111 1 0 >/dev/null
  sleep 0.5
else
  echo "demo: no About box" >&2
fi

# --- The farewell picture: CLOSE shows it for a moment before the end.
click_button $CLOSE
pic=$(control $FAREWELL)
for _ in $(seq 100); do
  [ "$(info_field "$pic" visible)" == "1" ] && break
  sleep 0.02
done
sleep 0.1
still farewell 10 380 $DIALOG_W $DIALOG_H
