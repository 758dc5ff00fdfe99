# Sourced by the scripts that run Windows programs: a private Wine prefix and,
# unless TACHY_USE_DISPLAY=1 keeps the caller's, a private Xvfb display.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# Starts Xvfb on a free display number and exports DISPLAY.
tachy_start_xvfb() {
  local size=${1:-1024x768x24}
  local fdfile; fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  TACHY_XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

tachy_stop_xvfb() {
  [ -n "${TACHY_XVFB_PID:-}" ] && kill "$TACHY_XVFB_PID" 2>/dev/null || true
}

# Creates the prefix once (after wine32 is installed, so it runs both exes)
# and sets the font substitutes the dialogs' face names need (Japanese, and
# a narrow face for Impact).
tachy_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic' /f >/dev/null 2>&1 || true
    # The buttons' captions are set in Impact, a narrow face; without a narrow
    # stand-in the longest caption does not fit its 128-pixel button.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v 'Impact' /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1 || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  # The effect tests hide, minimise and destroy dozens of shown windows; with
  # no window manager Wine waits 2 s for one each time. Those test programs
  # alone run unmanaged (a per-program setting).
  local t
  for t in test_cloak_run.exe test_cloak_window.exe test_warp_coil.exe test_warp_ship.exe \
    test_engage_run.exe; do
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$t\\X11 Driver" /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
  done
  # Start the prefix's services now, with their output going nowhere: started
  # by a test instead, they would inherit the test runner's output and hold it.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

tachy_stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
