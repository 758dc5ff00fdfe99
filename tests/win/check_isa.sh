#!/bin/sh
# Fails when a function of the 32-bit program uses SSE, SSE2, AVX or later
# instructions without being one of the functions that are only called after
# a run-time check of the processor; the program must run on processors
# without them.
#   check_isa.sh OBJDUMP EXE NAME...   (NAME: a function's base name, allowed)
set -eu
objdump=$1
exe=$2
shift 2
allowed=" $* "
"$objdump" -d -j .text --no-show-raw-insn -C "$exe" | awk -v allowed="$allowed" '
# A function starts with a line such as
#   00401000 <(anonymous namespace)::Name(int, float)>:
/^[0-9a-f]+ <.*>:$/ {
    fn = $0
    sub(/^[0-9a-f]+ </, "", fn)
    sub(/>:$/, "", fn)
    # Base name: before the argument list, after the last scope, without a
    # compiler clone suffix (.constprop.0, .isra.0, .part.0, .cold).
    base = fn
    gsub(/\(anonymous namespace\)::/, "", base)
    sub(/\(.*$/, "", base)
    sub(/^.*::/, "", base)
    sub(/^_+/, "", base)
    sub(/\..*$/, "", base)
    ok = index(allowed, " " base " ") > 0
    # Exception tables that the linker puts among the code are data.
    if (fn ~ /^\.gcc_except_table/)
        ok = 1
    next
}
/%[xyz]mm[0-9]|%k[0-7]|\t(movnti|lfence|mfence|sfence|clflush|maskmovq|movntq|pshufw)[ \t]/ {
    if (!ok && !(fn in seen)) {
        seen[fn] = 1
        bad++
        print "vector instructions outside a dispatched function: " fn ": " $0
    }
}
END {
    if (bad)
        exit 1
    print "no vector instructions outside: " allowed
}
'
