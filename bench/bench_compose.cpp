// Times the frame composition on a window-sized picture against a plain block
// copy of the frame's bytes in the same run, so that the figure stays
// meaningful on a shared or throttled machine. Build it optimised (a
// Release tree); a sanitizer build only shows what the instrumentation costs.
#include "effects/ComposeKernel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;
constexpr int kRounds = 7;
constexpr int kRepeats = 40;

using Clock = std::chrono::steady_clock;

// Best of several rounds: the least disturbed round is the closest to the
// real cost.
template <class F> double BestSecondsPerCall(F&& call) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < kRepeats; ++i)
            call();
        const std::chrono::duration<double> took = Clock::now() - start;
        best = std::min(best, took.count() / kRepeats);
    }
    return best;
}

uint32_t g_seed = 12345;
uint8_t NextByte() {
    g_seed = g_seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(g_seed >> 16);
}

} // namespace

int main() {
    std::vector<uint8_t> colour(Dib24Stride(kWidth) * kHeight);
    std::vector<uint8_t> mask(Dib8Stride(kWidth) * kHeight);
    std::vector<uint8_t> table(256 * 4);
    const size_t frameBytes = Dib32Stride(kWidth) * kHeight;
    std::vector<uint8_t> frame(frameBytes);
    std::vector<uint8_t> source(frameBytes);
    for (auto* v : {&colour, &mask, &table, &source})
        for (auto& b : *v)
            b = NextByte();

    const double compose = BestSecondsPerCall([&] {
        ComposeMaskedPixels(kWidth, kHeight, colour.data(), mask.data(), table.data(),
                            frame.data());
    });
    const double copy =
        BestSecondsPerCall([&] { std::memcpy(frame.data(), source.data(), frameBytes); });

    const double pixels = double(kWidth) * kHeight;
    std::printf("compose %dx%d: %.1f Mpixel/s (%.3f ms a frame)\n", kWidth, kHeight,
                pixels / compose / 1e6, compose * 1e3);
    std::printf("memcpy of %zu bytes: %.1f Mpixel/s (%.3f ms)\n", frameBytes, pixels / copy / 1e6,
                copy * 1e3);
    std::printf("compose / memcpy speed: %.2f\n", copy / compose);
    // For scripts/bench.sh: metric|value|unit|note
    std::printf("BENCH|compose 800x600|%.1f|Mpixel/s|%.3f ms a frame\n", pixels / compose / 1e6,
                compose * 1e3);
    std::printf("BENCH|memcpy of the frame|%.1f|Mpixel/s|same run\n", pixels / copy / 1e6);
    std::printf("BENCH|compose / memcpy speed|%.2f|ratio|\n", copy / compose);
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
    std::printf("note: unoptimised or sanitizer build; time a Release build instead\n");
#endif
    return 0;
}
