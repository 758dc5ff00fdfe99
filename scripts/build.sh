#!/usr/bin/env bash
# Builds the native tree (unit tests, artwork generator) and both Windows exes.
# Usage: scripts/build.sh [native] [win32] [win64]   (default: all three)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@"); [ ${#targets[@]} -eq 0 ] && targets=(native win32 win64)
for t in "${targets[@]}"; do
  case $t in
    native) args=(-DCMAKE_BUILD_TYPE=Debug -DTACHY_SANITIZE=ON) ;;
    win32)  args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-mingw-i686.cmake) ;;
    win64)  args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchain-mingw-x86_64.cmake) ;;
    *) echo "unknown target $t" >&2; exit 2 ;;
  esac
  [ -f "$root/build/$t/build.ninja" ] || cmake -S "$root" -B "$root/build/$t" -G Ninja "${args[@]}" >/dev/null
  cmake --build "$root/build/$t" -- -j2
done
