// Times the frame composition on a window-sized picture against a plain block
// copy of the frame's bytes in the same run, so that the figure stays
// meaningful on a shared or throttled machine. Build it optimised (a
// Release tree); a sanitizer build only shows what the instrumentation costs.
// Built natively and into the Windows trees, so that the kernel of the
// shipped 32-bit program is timed too (under Wine): its figures carry the
// build's name.
#include "effects/ComposeKernel.h"
#include "effects/Processor.h"

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

#if defined(_WIN64)
const char* const kBuild = "win64 exe";
#elif defined(_WIN32)
const char* const kBuild = "win32 exe";
#else
const char* const kBuild = "native";
#endif

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
    LimitProcessorFeatures(0);
    const double portable = BestSecondsPerCall([&] {
        ComposeMaskedPixels(kWidth, kHeight, colour.data(), mask.data(), table.data(),
                            frame.data());
    });
    LimitProcessorFeatures(kProcessorAll);
    const double copy =
        BestSecondsPerCall([&] { std::memcpy(frame.data(), source.data(), frameBytes); });

    const double pixels = double(kWidth) * kHeight;
    std::printf("compose %dx%d: %.1f Mpixel/s (%.3f ms a frame)\n", kWidth, kHeight,
                pixels / compose / 1e6, compose * 1e3);
    std::printf("memcpy of %zu bytes: %.1f Mpixel/s (%.3f ms)\n", frameBytes, pixels / copy / 1e6,
                copy * 1e3);
    std::printf("compose / memcpy speed: %.2f\n", copy / compose);
    std::printf("portable loop: %.1f Mpixel/s\n", pixels / portable / 1e6);
    // For scripts/bench.sh: metric|value|unit|note
    std::printf("BENCH|compose 800x600, %s|%.1f|Mpixel/s|%.3f ms a frame\n", kBuild,
                pixels / compose / 1e6, compose * 1e3);
    std::printf("BENCH|compose 800x600 without the vector loop, %s|%.1f|Mpixel/s|%.3f ms a "
                "frame\n",
                kBuild, pixels / portable / 1e6, portable * 1e3);
    std::printf("BENCH|memcpy of the frame, %s|%.1f|Mpixel/s|same run\n", kBuild,
                pixels / copy / 1e6);
    std::printf("BENCH|compose / memcpy speed, %s|%.2f|ratio|\n", kBuild, copy / compose);
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
    std::printf("note: unoptimised or sanitizer build; time a Release build instead\n");
#endif
    return 0;
}
