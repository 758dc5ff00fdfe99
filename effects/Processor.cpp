#include "effects/Processor.h"

#include <atomic>

#ifdef TACHY_DISPATCHED
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

std::atomic<unsigned> g_nAllowed(kProcessorAll);

#ifdef TACHY_DISPATCHED

// The register states the system saves for each thread. xgetbv exists only
// where cpuid reports that the system has enabled it.
TACHY_DISPATCHED("xsave") unsigned long long SavedRegisterStates() {
    return _xgetbv(0);
}

unsigned Detect() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return 0;
    unsigned nPresent = (d & bit_SSE2) ? unsigned(kProcessorSse2) : 0u;
    // AVX2 needs the system to keep the SSE and AVX registers (bits 1 and 2).
    const bool bAvxState = (c & bit_OSXSAVE) && (c & bit_AVX) && (SavedRegisterStates() & 6) == 6;
    if (bAvxState && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2))
        nPresent |= kProcessorAvx2;
    return nPresent;
}

#else

unsigned Detect() {
    return 0;
}

#endif

} // namespace

bool ProcessorHas(ProcessorFeature feature) {
    static const unsigned nPresent = Detect();
    return (nPresent & g_nAllowed.load(std::memory_order_relaxed) & feature) != 0;
}

void LimitProcessorFeatures(unsigned nAllowed) {
    g_nAllowed.store(nAllowed & kProcessorAll, std::memory_order_relaxed);
}
