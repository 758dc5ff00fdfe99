#!/usr/bin/env bash
# The downloads: scripts/package.sh writes both archives and their sums, each
# archive holds exactly the exe of its architecture, the read-me and the
# licence, and each exe from an archive starts under Wine and shows its dialog.
source "$(dirname "$0")/../e2e/lib.sh" "$1"
dist=$(mktemp -d)
unpacked=$(mktemp -d)
trap 'rm -rf "$dist" "$unpacked"; e2e_cleanup' EXIT

TACHY_DIST=$dist "$root/scripts/package.sh" >/dev/null || { echo "FAIL: package.sh"; exit 1; }
version=$(sed -n 's/^project(Tachyrama VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
check "the archives and the sums, named by the project version" "$(cd "$dist" && ls | tr '\n' ' ')" \
  "SHA256SUMS Tachyrama-$version-win32.zip Tachyrama-$version-win64.zip "
check "the sums match" "$(cd "$dist" && sha256sum -c --quiet SHA256SUMS 2>&1 && echo ok)" "ok"
check "the sums cover both archives" "$(cut -d' ' -f3 "$dist/SHA256SUMS" | tr '\n' ' ')" \
  "Tachyrama-$version-win32.zip Tachyrama-$version-win64.zip "

# PE machine field: 0x14c for i386, 0x8664 for x86-64.
pe_machine() {
  local off; off=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t x2 -j $((off + 4)) -N 2 "$1" | tr -d ' '
}
for t in win32 win64; do
  zip=$dist/Tachyrama-$version-$t.zip
  check "$t: contents" "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" "LICENSE.txt README.txt Tachyrama.exe "
  mkdir -p "$unpacked/$t"
  unzip -q "$zip" -d "$unpacked/$t"
  case $t in win32) machine=014c ;; win64) machine=8664 ;; esac
  check "$t: exe architecture" "$(pe_machine "$unpacked/$t/Tachyrama.exe")" "$machine"
  check "$t: read-me names version and build" "$(head -n1 "$unpacked/$t/README.txt" | tr -d '\r')" \
    "Tachyrama $version ($t)"
  check "$t: read-me says it writes nothing" "$(grep -c 'writes no files' "$unpacked/$t/README.txt")" "1"
  check "$t: the licence" "$(head -n1 "$unpacked/$t/LICENSE.txt" | tr -d '\r')" "MIT License"

  EXE=$unpacked/$t/Tachyrama.exe
  start_app
  check "$t: the dialog shows its list" "$(info_field "$(control 1002)" visible)" "1"
  probe post "$APP" 0x10 0 0 >/dev/null
  probe wait-gone "$APP" 10000 && check "$t: it closes" yes yes
  tachy_stop_wine
done
e2e_finish
