// The one check of what the processor offers beyond the 32-bit program's
// baseline (a Pentium Pro: no MMX, no SSE). Every function that uses such
// instructions is reached only after it has said yes, and lives in the
// TACHY_DISPATCHED section, so that a scan of the program file can tell it
// from the rest and a test can make it unreachable.
#pragma once

enum ProcessorFeature : unsigned {
    kProcessorSse2 = 1u,
    kProcessorAvx2 = 2u, // also needs the system to keep the 256-bit registers
    kProcessorAll = kProcessorSse2 | kProcessorAvx2,
};

// Whether the processor has the feature and it is not held back.
bool ProcessorHas(ProcessorFeature feature);

// From now on ProcessorHas answers no for every feature outside nAllowed
// (kProcessorAll gives the processor's own answers again). Tests run the
// program's code with it as a processor without those features would.
void LimitProcessorFeatures(unsigned nAllowed);

// Marks a function that uses instructions beyond the baseline: it gets them
// from the compiler and goes to the program file's section ".simd".
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TACHY_DISPATCHED(features) __attribute__((target(features), section(".simd")))
#endif
