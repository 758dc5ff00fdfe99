#!/usr/bin/env bash
# Installs what is missing, builds the 32-bit exe and starts it under Wine on
# $DISPLAY. With no display it runs on a private Xvfb for a few seconds and
# saves a screenshot of the dialog to build/tachyrama.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" win32
exe="$root/build/win32/Tachyrama.exe"
source "$root/scripts/wine-env.sh"
if [ -n "${DISPLAY:-}" ]; then
  tachy_prepare_prefix
  exec wine "$exe"
fi
tachy_start_xvfb
trap 'tachy_stop_wine; tachy_stop_xvfb' EXIT
tachy_prepare_prefix
wine notepad >/dev/null 2>&1 &
wine winemine >/dev/null 2>&1 &
sleep 2
wine "$exe" >/dev/null 2>&1 &
sleep 4
import -window root "$root/build/tachyrama.png"
echo "Screenshot of the running program: $root/build/tachyrama.png"
