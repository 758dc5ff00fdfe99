#include "effects/Processor.h"

#include <atomic>

namespace {

std::atomic<unsigned> g_nAllowed(kProcessorAll);

unsigned Detect() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    unsigned nPresent = 0;
    if (__builtin_cpu_supports("sse2"))
        nPresent |= kProcessorSse2;
    // The compiler's check also asks the system whether it saves the AVX
    // registers.
    if (__builtin_cpu_supports("avx2"))
        nPresent |= kProcessorAvx2;
    return nPresent;
#else
    return 0;
#endif
}

} // namespace

bool ProcessorHas(ProcessorFeature feature) {
    static const unsigned nPresent = Detect();
    return (nPresent & g_nAllowed.load(std::memory_order_relaxed) & feature) != 0;
}

void LimitProcessorFeatures(unsigned nAllowed) {
    g_nAllowed.store(nAllowed & kProcessorAll, std::memory_order_relaxed);
}
