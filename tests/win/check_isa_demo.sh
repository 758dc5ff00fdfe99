#!/bin/sh
# Proves that check_isa.sh sees one family of instructions beyond the 32-bit
# baseline: builds a small exe with each instruction of the family in an
# ordinary function of its own and expects the scan to fail, naming every
# one of them ("lookalike": SSE2 instructions named as baseline ones are). Two controls expect it to pass: "baseline" (instructions the
# baseline has, several of them look alike) and "dispatched" (every family's
# instructions, in the section of the dispatched functions).
#   check_isa_demo.sh OBJDUMP CC WORKDIR FAMILY
set -eu
objdump=$1
cc=$2
work=$3
family=$4
here=$(cd "$(dirname "$0")" && pwd)

# family|function|instruction (AT&T syntax, as the compiler's assembler takes it)
table='fences|lfence|lfence
fences|mfence|mfence
fences|sfence|sfence
fences|clflush|clflush (%eax)
vzero|vzeroupper|vzeroupper
vzero|vzeroall|vzeroall
mxcsr|ldmxcsr|ldmxcsr (%eax)
mxcsr|stmxcsr|stmxcsr (%eax)
prefetch|prefetchnta|prefetchnta (%eax)
prefetch|prefetcht0|prefetcht0 (%eax)
prefetch|prefetcht1|prefetcht1 (%eax)
prefetch|prefetcht2|prefetcht2 (%eax)
prefetch|prefetchw|prefetchw (%eax)
mmx|emms|emms
mmx|movd_mmx|movd %eax, %mm0
mmx|paddb_mmx|paddb %mm1, %mm0
mmx|pshufw|pshufw $0, %mm1, %mm0
mmx|movntq|movntq %mm0, (%eax)
popcnt|popcnt|popcnt %eax, %ecx
lzcnt|lzcnt|lzcnt %eax, %ecx
bmi1|andn|andn %eax, %ecx, %edx
bmi1|tzcnt|tzcnt %eax, %ecx
bmi1|blsr|blsr %eax, %ecx
bmi1|blsi|blsi %eax, %ecx
bmi1|blsmsk|blsmsk %eax, %ecx
bmi1|bextr|bextr %eax, %ecx, %edx
bmi2|bzhi|bzhi %eax, %ecx, %edx
bmi2|pdep|pdep %eax, %ecx, %edx
bmi2|pext|pext %eax, %ecx, %edx
bmi2|mulx|mulx %eax, %ecx, %edx
bmi2|rorx|rorx $3, %eax, %ecx
bmi2|sarx|sarx %eax, %ecx, %edx
bmi2|shlx|shlx %eax, %ecx, %edx
bmi2|shrx|shrx %eax, %ecx, %edx
movbe|movbe_load|movbe (%eax), %ecx
movbe|movbe_store|movbe %ecx, (%eax)
crc32|crc32b|crc32b %al, %ecx
crc32|crc32l|crc32l %eax, %ecx
sse|addps|addps %xmm1, %xmm0
sse|movaps|movaps %xmm0, %xmm1
sse|cvtsi2ss|cvtsi2ss %eax, %xmm0
sse|ucomiss|ucomiss %xmm1, %xmm0
sse2|paddq|paddq %xmm1, %xmm0
sse2|movnti|movnti %eax, (%ecx)
sse2|cvttsd2si|cvttsd2si %xmm0, %eax
sse2|maskmovdqu|maskmovdqu %xmm1, %xmm0
sse3|fisttp|fisttpl (%eax)
sse3|lddqu|lddqu (%eax), %xmm0
sse3|pshufb|pshufb %xmm1, %xmm0
sse3|pblendw|pblendw $1, %xmm1, %xmm0
sse3|pcmpistri|pcmpistri $0, %xmm1, %xmm0
avx|vaddps|vaddps %ymm1, %ymm0, %ymm0
avx|vaddss|vaddss %xmm1, %xmm0, %xmm0
avx|vbroadcastss|vbroadcastss (%eax), %ymm0
avx|vfmadd231ps|vfmadd231ps %ymm1, %ymm2, %ymm0
avx|vcvtph2ps|vcvtph2ps %xmm1, %ymm0
avx512|vaddps_zmm|vaddps %zmm1, %zmm0, %zmm0
avx512|kmovw|kmovw %k1, %k2
other|rdrand|rdrand %eax
other|rdseed|rdseed %eax
other|adcx|adcx %eax, %ecx
other|xgetbv|xgetbv
other|fxsave|fxsave (%eax)
other|aesenc|aesenc %xmm1, %xmm0
other|pclmulqdq|pclmulqdq $0, %xmm1, %xmm0
other|sysenter|sysenter
lookalike|movsd_load|movsd (%eax), %xmm0
lookalike|movsd_store|movsd %xmm0, (%eax)
lookalike|movsd_xmm|movsd %xmm1, %xmm0
lookalike|cmpsd_xmm|cmpsd $0, %xmm1, %xmm0
baseline|cmov|cmovne %eax, %ecx
baseline|fcomi|fcomi %st(1), %st
baseline|fucomip|fucomip %st(1), %st
baseline|fcmov|fcmovne %st(1), %st
baseline|cmpxchg8b|cmpxchg8b (%eax)
baseline|cpuid|cpuid
baseline|rdtsc|rdtsc
baseline|bsf|bsf %eax, %ecx
baseline|bswap|bswap %eax
baseline|long_nop|nopl 0(%eax)
baseline|pause|pause
baseline|fild|fildll (%eax)
baseline|fistp|fistpll (%eax)
baseline|rep_stos|rep stosl
baseline|movs_string|movsl
baseline|cmps_string|repz cmpsl'

mkdir -p "$work"
src=$work/demo_$family.c
exe=$work/demo_$family.exe
section=""
[ "$family" = dispatched ] && section='__attribute__((section(".simd")))'
{
  echo 'void demo_entry(void) {}'
  echo "$table" | while IFS='|' read -r fam name insn; do
    if [ "$fam" = "$family" ] || { [ "$family" = dispatched ] && [ "$fam" != baseline ]; }; then
      echo "$section __attribute__((used)) void demo_$name(void) { __asm__ volatile(\"$insn\"); }"
    fi
  done
} >"$src"
"$cc" -O1 -nostdlib -Wl,-e,_demo_entry -o "$exe" "$src"

status=0
out=$(sh "$here/check_isa.sh" "$objdump" "$exe") || status=$?
echo "$out"
case $family in
baseline | dispatched)
  [ $status -eq 0 ] || { echo "FAIL: the scan refused the $family demo"; exit 1; }
  ;;
*)
  [ $status -ne 0 ] || { echo "FAIL: the scan passed the $family demo"; exit 1; }
  for name in $(echo "$table" | awk -F'|' -v f="$family" '$1 == f {print $2}'); do
    echo "$out" | grep -q "demo_$name:" || { echo "FAIL: the scan missed demo_$name"; exit 1; }
  done
  ;;
esac
echo "PASS: $family"
