#!/bin/sh
# Fails when the 32-bit program holds an instruction that a processor of its
# baseline (i686: a Pentium Pro, without MMX or SSE) does not have, outside
# the code that runs only after a check of the processor: the functions in
# the section ".simd" and the functions named on the command line.
#   check_isa.sh OBJDUMP EXE [NAME...]   (NAME: a function's base name)
# Every instruction is looked up in the list of the baseline's own: whatever
# is not on it (SSE, AVX, MMX, fences, prefetches, popcnt, BMI, movbe,
# crc32, fisttp, cmpxchg16b, rdrand and anything newer) is reported. A name
# alone does not prove the baseline: SSE2's movsd and cmpsd share theirs
# with the string instructions, so any MMX, XMM, YMM, ZMM or mask register
# among the operands is reported too.
set -eu
objdump=$1
exe=$2
shift 2
allowed=" $* "
"$objdump" -d -M intel --no-show-raw-insn -C "$exe" | awk -v allowed="$allowed" '
BEGIN {
    # The baseline: the integer instructions up to the Pentium Pro (cmov,
    # cmpxchg8b, cpuid, rdtsc, ud2, the long nop; pause is a nop with a rep
    # prefix there) and the x87 instructions up to fcomi and fcmov.
    n = split("aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts " \
        "call cbw cwde cdq cwd clc cld cli cmc cmp cmps cmpsb cmpsw cmpsd cmpxchg " \
        "cmpxchg8b cpuid daa das dec div enter hlt idiv imul in inc ins insb insw insd " \
        "int int3 into iret iretd iretw jcxz jecxz jmp lahf lds lea leave les lfs lgs " \
        "lods lodsb lodsw lodsd loop loope loopne loopz loopnz lss mov movs movsb movsw " \
        "movsd movsx movzx mul neg nop not or out outs outsb outsw outsd pop popa popad " \
        "popf popfd popaw popfw push pusha pushad pushf pushfd pushaw pushfw rcl rcr rdmsr " \
        "rdpmc rdtsc ret retf rol ror sahf sal sar sbb scas scasb scasw scasd shl shld " \
        "shr shrd stc std sti stos stosb stosw stosd sub test ud2 wait fwait wrmsr xadd " \
        "xchg xlat xlatb xor invd wbinvd lret pause " \
        "f2xm1 fabs fadd faddp fiadd fbld fbstp fchs fclex fnclex fcom fcomp fcompp " \
        "fcomi fcomip fucomi fucomip fcos fdecstp fdiv fdivp fidiv fdivr fdivrp fidivr " \
        "ffree ffreep fincstp finit fninit fist fistp fild fld fld1 fldl2t fldl2e fldpi " \
        "fldlg2 fldln2 fldz fldcw fldenv fmul fmulp fimul fnop fpatan fprem fprem1 fptan " \
        "frndint frstor fsave fnsave fscale fsin fsincos fsqrt fst fstp fstcw fnstcw " \
        "fstenv fnstenv fstsw fnstsw fsub fsubp fisub fsubr fsubrp fisubr ftst fucom " \
        "fucomp fucompp fxam fxch fxtract fyl2x fyl2xp1 ficom ficomp", names, " ")
    for (i = 1; i <= n; ++i)
        base[names[i]] = 1
    # Conditional jumps, moves and sets, and the prefixes objdump prints
    # before a mnemonic.
    split("o no b nae c ae nb nc e z ne nz be na a nbe s ns p pe np po l nge ge nl " \
          "le ng g nle", cc, " ")
    for (i in cc) {
        base["j" cc[i]] = 1
        base["cmov" cc[i]] = 1
        base["set" cc[i]] = 1
        base["fcmov" cc[i]] = 1
    }
    split("lock rep repz repnz repe repne data16 addr16 cs ds es ss fs gs", p, " ")
    for (i in p)
        prefix[p[i]] = 1
}
# Whether an instruction names a register the baseline does not have; the
# symbol names objdump adds in angle brackets are not operands.
function vector_operand(text) {
    gsub(/<[^>]*>/, "", text)
    return text ~ /(^|[^A-Za-z0-9_])(mm[0-7]|[xyz]mm[0-9]+|k[0-7])([^A-Za-z0-9_]|$)/
}
# A function starts with a line such as
#   00401000 <(anonymous namespace)::Name(int, float)>:
/^[0-9a-f]+ <.*>:$/ {
    fn = $0
    sub(/^[0-9a-f]+ </, "", fn)
    sub(/>:$/, "", fn)
    # Base name: before the argument list, after the last scope, without a
    # compiler clone suffix (.constprop.0, .isra.0, .part.0, .cold).
    name = fn
    # Code without a symbol of its own is named by its section, which holds
    # the mangled name (.text$_ZN...): take the last identifier in it.
    if (name ~ /^\.text\$_Z/) {
        rest = substr(name, 7)
        while (match(rest, /[0-9]+/)) {
            len = substr(rest, RSTART, RLENGTH) + 0
            name = substr(rest, RSTART + RLENGTH, len)
            rest = substr(rest, RSTART + RLENGTH + len)
        }
    }
    gsub(/\(anonymous namespace\)::/, "", name)
    sub(/\(.*$/, "", name)
    sub(/^.*::/, "", name)
    sub(/^_+/, "", name)
    sub(/\..*$/, "", name)
    ok = inSimd || index(allowed, " " name " ") > 0
    # Tables that the linker puts among the code are data.
    if (fn ~ /^(\.gcc_except_table|_CTOR_LIST__|_DTOR_LIST__|\.ctors|\.dtors)/)
        ok = 1
    next
}
/^Disassembly of section / {
    inSimd = $0 ~ /section \.simd:$/
    next
}
/^ *[0-9a-f]+:\t/ {
    split($0, field, "\t")
    k = split(field[2], word, " ")
    m = word[1]
    for (i = 2; i <= k && (m in prefix); ++i)
        m = word[i]
    if (ok || ((m in base || m in prefix) && !vector_operand(field[2])))
        next
    if (!(fn in seen)) {
        seen[fn] = 1
        bad++
    }
    print "beyond the baseline outside a dispatched function: " fn ": " field[2]
}
END {
    if (bad) {
        print bad " function(s) with instructions beyond the baseline"
        exit 1
    }
    print "only baseline instructions outside .simd and: " allowed
}
'
