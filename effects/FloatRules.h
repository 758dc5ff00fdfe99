// Rounding rules shared by the effect arithmetic. The warp and cloak curves
// are defined by IEEE double products and quotients, single-precision stores
// and truncation toward zero, and must give the same pixels on every build.
//
// The 32-bit Windows build does its floating point on the x87 unit, whose
// registers carry a 64-bit significand: a product rounded first to 64 and then
// to 53 bits can differ from one rounded once to 53 bits, and a value kept in a
// register is never rounded at all. So every calculation that follows these
// rules runs inside a DoublePrecisionScope, which switches the x87 precision
// control to 53 bits (each operation then rounds once, as an IEEE double does)
// and restores the caller's setting afterwards. Values enter the scope through
// Pin() and leave it through a volatile store, so that the compiler can move
// none of the arithmetic across the switch. SSE2 is not required, and the
// program keeps running on processors without it.
#pragma once
#include <cstdint>

#if defined(__i386__) && !defined(__SSE2_MATH__)
class DoublePrecisionScope {
  public:
    DoublePrecisionScope() {
        __asm__ __volatile__("fnstcw %0" : "=m"(m_wSaved) : : "memory");
        // Precision control (bits 8-9) = 10b: round every result to 53 bits.
        unsigned short wDouble = static_cast<unsigned short>((m_wSaved & ~0x0300u) | 0x0200u);
        __asm__ __volatile__("fldcw %0" : : "m"(wDouble) : "memory");
    }
    ~DoublePrecisionScope() { __asm__ __volatile__("fldcw %0" : : "m"(m_wSaved) : "memory"); }
    DoublePrecisionScope(const DoublePrecisionScope&) = delete;
    DoublePrecisionScope& operator=(const DoublePrecisionScope&) = delete;

  private:
    unsigned short m_wSaved;
};
#else
// SSE arithmetic already rounds every double result once.
class DoublePrecisionScope {
  public:
    DoublePrecisionScope() {}
    DoublePrecisionScope(const DoublePrecisionScope&) = delete;
    DoublePrecisionScope& operator=(const DoublePrecisionScope&) = delete;
};
#endif

// Passes a value through memory, so that arithmetic on it starts only after
// the precision switch that precedes it.
inline double Pin(double v) {
    volatile double m = v;
    return m;
}

// Rounds to single precision by a real store, which the x87 build would
// otherwise skip for a value that stays in a register.
inline float Single(double v) {
    volatile float m = static_cast<float>(v);
    return m;
}

// Truncation toward zero. Values beyond the 32-bit range saturate instead of
// being undefined; NaN gives 0.
inline int32_t TruncSat(double v) {
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Clamps a 64-bit intermediate to the 32-bit coordinate range.
inline int32_t Saturate32(int64_t v) {
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}
