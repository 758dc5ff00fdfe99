// Whether this program runs on an emulated processor (scripts/emulate32.sh
// sets TACHY_EMULATED for everything it starts). Emulation cannot answer
// truthfully what rests on the processor's identity, on the codes of
// hardware faults, or on how fast computation runs; such checks say so and
// step aside there, and still run natively.
#pragma once
#include <windows.h>

inline bool RunsEmulated() {
    char sz[4] = "";
    return ::GetEnvironmentVariableA("TACHY_EMULATED", sz, sizeof sz) == 1 && sz[0] == '1';
}
