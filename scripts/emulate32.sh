#!/usr/bin/env bash
# Runs 32-bit x86 programs on a machine whose kernel runs no 32-bit code:
# every i386 program started under it goes through QEMU's user-mode
# emulator, registered in a private binfmt_misc of a user namespace, so that
# nothing on the machine changes and only what is started inside sees it.
#   scripts/emulate32.sh fetch        gets qemu-i386 into build/emulate32
#   scripts/emulate32.sh run CMD...   runs CMD (and all it starts) emulated
# Both print one line saying why and exit 1 when emulation cannot be had.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/emulate32
# The name tells the emulator that the kernel hands it the program's own
# argv[0] (binfmt flag P), as Debian's own registration does.
interpreter=$dir/usr/libexec/qemu-binfmt/i386-binfmt-P
# An i386 ELF executable or shared object, as Debian's qemu-user registers it.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Bookworm's own QEMU (7.2) takes about a minute to start each 32-bit
# process; the backports suite's QEMU 10 starts them in about a second.
suite=bookworm-backports
package=qemu-user

fail() {
  echo "$*"
  exit 1
}

# The machine's own Debian mirror and keyring, from its apt sources (either
# format): the one package comes from where everything else does.
mirror_and_keyring() {
  local f uri="" key=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' "$f")
    key=$(awk '/^Signed-By:/ {print $2; exit}' "$f")
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
      /etc/apt/sources.list | grep -v security | head -n1)
  fi
  [ -n "$uri" ] || return 1
  echo "$uri ${key:-/usr/share/keyrings/debian-archive-keyring.gpg}"
}

# Downloads the package with an apt configuration of its own under build/
# (its own source list, lists and cache): the machine's sources stay as they
# are. Only the emulator is unpacked; the package itself is not installed.
fetch() {
  [ -x "$dir/usr/bin/qemu-i386" ] && return 0
  command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null || fail "no apt-get/dpkg-deb to fetch $package"
  local source uri key arch
  source=$(mirror_and_keyring) || fail "no Debian mirror in this machine's apt sources"
  read -r uri key <<<"$source"
  arch=$(dpkg --print-architecture)
  local apt=$dir/apt
  rm -rf "$apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/deb"
  printf 'deb [arch=%s signed-by=%s] %s %s main\n' "$arch" "$key" "$uri" "$suite" >"$apt/sources.list"
  local opts=(-q -o "Dir::Etc::sourcelist=$apt/sources.list" -o Dir::Etc::sourceparts=/nonexistent
    -o Dir::Etc::preferencesparts=/nonexistent -o "Dir::State=$apt" -o "Dir::State::lists=$apt/lists"
    -o "Dir::Cache=$apt/cache" -o "APT::Architecture=$arch")
  [ "$(id -u)" -eq 0 ] && opts+=(-o APT::Sandbox::User=root)
  apt-get "${opts[@]}" update >"$apt/log" 2>&1 || fail "cannot read $suite's package list (see $apt/log)"
  (cd "$apt/deb" && apt-get "${opts[@]}" download "$package" >>"$apt/log" 2>&1) ||
    fail "cannot download $package from $suite (see $apt/log)"
  dpkg-deb --fsys-tarfile "$apt"/deb/*.deb | (cd "$dir" && tar -x ./usr/bin/qemu-i386 \
    ./usr/libexec/qemu-binfmt/i386-binfmt-P) || fail "cannot unpack $package"
  rm -rf "$apt/deb" "$apt/cache"
  "$dir/usr/bin/qemu-i386" --version | head -n1 >"$dir/version"
}

# Inside the namespace: a binfmt_misc of its own with the emulator in it.
inside() {
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
    fail "cannot mount a private binfmt_misc (a kernel before 6.7 has only the machine's)"
  printf '%s' ":qemu-i386:M::$magic:$mask:$interpreter:POCF" >/proc/sys/fs/binfmt_misc/register ||
    fail "cannot register the emulator in the private binfmt_misc"
  export TACHY_EMULATED=1
  exec "$@"
}

run() {
  [ -x "$dir/usr/bin/qemu-i386" ] || fail "no emulator: run scripts/emulate32.sh fetch first"
  command -v unshare >/dev/null || fail "no unshare to make a user namespace"
  unshare --user --map-root-user --mount --fork true 2>/dev/null || fail "this machine allows no user namespaces"
  exec unshare --user --map-root-user --mount --fork "$0" --inside "$@"
}

case "${1:-}" in
fetch) fetch ;;
run) shift && run "$@" ;;
--inside) shift && inside "$@" ;;
*) fail "usage: $0 fetch | run CMD..." ;;
esac
