#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12. Quick when all is there.
# scripts/deps.sh demo: also what the demo recording needs.
set -euo pipefail
pkgs=(cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
      xvfb xdotool imagemagick x11-utils xcompmgr fonts-umeplus fonts-bebas-neue zip unzip
      googletest libgtest-dev python3)
# The demo's screen grabber is C built against Xlib.
[ "${1:-}" == "demo" ] && pkgs+=(gcc libx11-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
# A mirror caught mid-sync fails one list; the others still serve.
$SUDO apt-get update -q || echo "deps.sh: some package lists could not be read; going on with the rest" >&2
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }
install "${missing[@]}" && exit 0
# With the security list of one architecture missing, the two architectures'
# candidates differ and wine32 cannot be installed beside the 64-bit
# libraries; the release's own versions match across both. apt's resolver
# needs the one i386 library that wine32 pulls in named first.
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
install -t "$release" libgstreamer-plugins-base1.0-0:i386 && install -t "$release" "${missing[@]}"
