#!/usr/bin/env bash
# Builds both exes in Release and writes the downloads for Windows users:
#   dist/Tachyrama-<version>-win32.zip, dist/Tachyrama-<version>-win64.zip
#   (each: Tachyrama.exe, README.txt, LICENSE.txt) and dist/SHA256SUMS.
# The version is the project version in CMakeLists.txt. TACHY_DIST=DIR
# writes elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${TACHY_DIST:-$root/dist}
"$root/scripts/deps.sh"
"$root/scripts/build.sh" win32 win64

cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$root/build/$1/CMakeCache.txt"; }
version=$(cache_value win32 CMAKE_PROJECT_VERSION)
[ -n "$version" ] || { echo "package: no project version in build/win32" >&2; exit 1; }
for t in win32 win64; do
  [ "$(cache_value $t CMAKE_BUILD_TYPE)" == "Release" ] || { echo "package: build/$t is not a Release build" >&2; exit 1; }
  [ "$(cache_value $t CMAKE_PROJECT_VERSION)" == "$version" ] || { echo "package: build/$t is of another version" >&2; exit 1; }
done

mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
crlf() { sed 's/$/\r/' "$@"; } # the texts are read on Windows
sums=()
for t in win32 win64; do
  case $t in win32) bits=32 strip=i686-w64-mingw32-strip ;; win64) bits=64 strip=x86_64-w64-mingw32-strip ;; esac
  dir=$stage/$t
  mkdir -p "$dir"
  # Symbols are no use to a user and make up most of the file.
  $strip -o "$dir/Tachyrama.exe" "$root/build/$t/Tachyrama.exe"
  sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$t/g" -e "s/@BITS@/$bits/g" \
    "$root/res/README-windows.txt" | crlf >"$dir/README.txt"
  crlf "$root/LICENSE" >"$dir/LICENSE.txt"
  # Fixed times and no Unix extras, so the same sources give the same archive.
  touch -d '2000-01-01 00:00:00 UTC' "$dir"/*
  zip="Tachyrama-$version-$t.zip"
  rm -f "$dist/$zip"
  (cd "$dir" && TZ=UTC zip -q -X -D "$dist/$zip" Tachyrama.exe README.txt LICENSE.txt)
  sums+=("$zip")
  echo "$dist/$zip: $(du -k "$dist/$zip" | cut -f1) kB"
done
(cd "$dist" && sha256sum "${sums[@]}" >SHA256SUMS)
echo "$dist/SHA256SUMS"
