# Sourced by the scripts that run Windows programs: a private Wine prefix and,
# unless TACHY_USE_DISPLAY=1 keeps the caller's, a private Xvfb display.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# The prefix is always the project's own (TACHY_WINEPREFIX names another, as
# the demo does): what a user has set for their own prefixes (a 32-bit
# WINEARCH, another Wine's server or loader, their WINEPREFIX) would make
# wine refuse this prefix or run another installation against it.
unset WINEARCH WINESERVER WINELOADER WINEDLLPATH
export TACHY_WINEPREFIX=${TACHY_WINEPREFIX:-$root/build/wineprefix}
export WINEPREFIX=$TACHY_WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# The `wine` command prefers Wine's 32-bit loader whenever it is installed,
# but a kernel whose 32-bit support is off (ia32_emulation=0) cannot start it,
# and then no Windows program starts at all. On such a machine the 64-bit
# loader runs the 64-bit programs (32-bit ones cannot run there in any way),
# and TACHY_WIN32_RUNS=0 tells the test command so.
tachy_use_wine64_only() {
  local shim=$root/build/wine64-only
  mkdir -p "$shim"
  local name
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
    chmod +x "$shim/$name"
  done
  case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
  export WINELOADER=/usr/lib/wine/wine64
}
export TACHY_WIN32_RUNS=1
if [ "${TACHY_EMULATED:-}" = 1 ]; then
  # Inside scripts/emulate32.sh: the 32-bit programs run emulated, but the
  # 64-bit loader starts everything else, so that only they pay for it.
  tachy_use_wine64_only
elif ! { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }; then
  export TACHY_WIN32_RUNS=0
  [ -x /usr/lib/wine/wine64 ] && tachy_use_wine64_only
fi

# The build the scripts run by default: the 32-bit one where it can run.
tachy_default_target() { [ "$TACHY_WIN32_RUNS" = 1 ] && echo win32 || echo win64; }

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
# and, every time, sets the stand-ins for the dialogs' two face names, so that
# a prefix made by an older checkout gets them too.
tachy_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  local subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  # The templates' 9-point Japanese face: this one draws the Japanese texts and
  # gives dialog base units of 7 x 12 pixels, which size the main dialog to
  # 546 x 350, its 550 x 350 background (the Japanese faces with 13-pixel
  # lines make it 29 rows taller).
  wine reg add "$subst" /v 'ＭＳ Ｐゴシック' /d 'UmePlus P Gothic' /f </dev/null >/dev/null 2>&1 || true
  # Impact, the captions' narrow heavy face: this condensed all-capitals face
  # sets every caption inside its button face at 24 and 18 pixels.
  wine reg add "$subst" /v 'Impact' /d 'Bebas Neue Bold' /f </dev/null >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  # No debugger for an unhandled exception: with an empty command line the
  # process ends at once with the exception's code, so its test fails then
  # instead of waiting for winedbg until the timeout. Both views of the key,
  # the 32-bit programs read theirs.
  local aedebug='Microsoft\Windows NT\CurrentVersion\AeDebug' view
  for view in 'HKLM\Software' 'HKLM\Software\Wow6432Node'; do
    wine reg add "$view\\$aedebug" /v Debugger /d '' /f </dev/null >/dev/null 2>&1 || true
  done
  # The effect tests hide, minimise and destroy dozens of shown windows; with
  # no window manager Wine waits 2 s for one each time. Those test programs
  # alone run unmanaged (a per-program setting).
  local t
  for t in test_cloak_run.exe test_cloak_window.exe test_warp_coil.exe test_warp_ship.exe \
    test_desktop_facts.exe \
    test_engage_run.exe; do
    wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$t\\X11 Driver" /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
  done
  # Start the prefix's services now, with their output going nowhere: started
  # by a test instead, they would inherit the test runner's output and hold it.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

tachy_stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
