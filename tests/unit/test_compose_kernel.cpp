#include "effects/ComposeKernel.h"
#include "effects/Processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

uint8_t Expected(uint8_t channel, uint8_t alpha) {
    const uint32_t factor = alpha * 65536u / 255u;
    return static_cast<uint8_t>((channel * factor) >> 16);
}

// The composition done the plain way, pixel by pixel, as a reference.
std::vector<uint8_t> Reference(int32_t w, int32_t h, const uint8_t* colour, const uint8_t* mask,
                               const uint8_t* table) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* c = colour + y * Dib24Stride(w) + 3 * x;
            const uint8_t alpha = table[mask[y * Dib8Stride(w) + x] * 4 + 2];
            uint8_t* o = &out[(static_cast<size_t>(y) * w + x) * 4];
            for (int k = 0; k < 3; ++k)
                o[k] = Expected(c[k], alpha);
            o[3] = alpha;
        }
    return out;
}

// Input buffers sized to end right after the last pixel of the last row, so
// that the sanitizer catches any read of the padding that is not there.
struct Picture {
    int32_t w, h;
    std::unique_ptr<uint8_t[]> colour, mask;
    size_t colourBytes, maskBytes;
    uint8_t table[1024];

    Picture(int32_t width, int32_t height) : w(width), h(height) {
        colourBytes = Dib24Stride(w) * (h - 1) + 3 * static_cast<size_t>(w);
        maskBytes = Dib8Stride(w) * (h - 1) + static_cast<size_t>(w);
        colour.reset(new uint8_t[colourBytes]);
        mask.reset(new uint8_t[maskBytes]);
        std::memset(table, 0, sizeof table);
    }
    void Randomise(std::mt19937& rng) {
        for (size_t i = 0; i < colourBytes; ++i)
            colour[i] = static_cast<uint8_t>(rng());
        for (size_t i = 0; i < maskBytes; ++i)
            mask[i] = static_cast<uint8_t>(rng());
        for (uint8_t& b : table)
            b = static_cast<uint8_t>(rng());
    }
    uint8_t* Pixel(int32_t x, int32_t y) { return &colour[y * Dib24Stride(w) + 3 * x]; }
    uint8_t& Index(int32_t x, int32_t y) { return mask[y * Dib8Stride(w) + x]; }
    void SetEntry(int index, uint8_t b, uint8_t g, uint8_t r) {
        table[index * 4] = b;
        table[index * 4 + 1] = g;
        table[index * 4 + 2] = r;
        table[index * 4 + 3] = 0x5A;
    }
};

// Run with the processor's features (the vector loop where it has AVX2) and
// as on a processor without any (the portable loop).
class ComposeKernel : public ::testing::TestWithParam<unsigned> {
  protected:
    void SetUp() override { LimitProcessorFeatures(GetParam()); }
    void TearDown() override { LimitProcessorFeatures(kProcessorAll); }
};

TEST(ComposeStrides, PadRowsToFourBytes) {
    EXPECT_EQ(Dib24Stride(1), 4u);
    EXPECT_EQ(Dib24Stride(4), 12u);
    EXPECT_EQ(Dib24Stride(5), 16u);
    EXPECT_EQ(Dib8Stride(1), 4u);
    EXPECT_EQ(Dib8Stride(5), 8u);
    EXPECT_EQ(Dib8Stride(8), 8u);
    EXPECT_EQ(Dib32Stride(5), 20u);
    EXPECT_EQ(Dib24Stride(0), 0u);
    EXPECT_EQ(Dib8Stride(-3), 0u);
}

TEST_P(ComposeKernel, EveryAlphaAndChannelMatchesTheFormula) {
    // Row y uses mask index y, whose entry has opacity y; pixel x carries
    // three different channel values so that every pair (channel, alpha) is
    // met in every channel position.
    Picture pic(256, 256);
    for (int i = 0; i < 256; ++i)
        pic.SetEntry(i, static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3), i);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            uint8_t* c = pic.Pixel(x, y);
            c[0] = static_cast<uint8_t>(x);
            c[1] = static_cast<uint8_t>(255 - x);
            c[2] = static_cast<uint8_t>(x * 7);
            pic.Index(x, y) = static_cast<uint8_t>(y);
        }
    std::vector<uint8_t> frame(256 * 256 * 4);
    ASSERT_TRUE(
        ComposeMaskedPixels(256, 256, pic.colour.get(), pic.mask.get(), pic.table, frame.data()));
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            const uint8_t* c = pic.Pixel(x, y);
            const uint8_t* o = &frame[(y * 256 + x) * 4];
            const uint8_t a = static_cast<uint8_t>(y);
            ASSERT_EQ(o[0], Expected(c[0], a)) << x << "," << y;
            ASSERT_EQ(o[1], Expected(c[1], a)) << x << "," << y;
            ASSERT_EQ(o[2], Expected(c[2], a)) << x << "," << y;
            ASSERT_EQ(o[3], a) << x << "," << y;
        }
}

TEST_P(ComposeKernel, OpacityComesFromTheRedByteOnly) {
    Picture pic(4, 1);
    pic.SetEntry(0, 0, 0, 255);     // pure red: opaque
    pic.SetEntry(1, 200, 90, 0);    // red 0: transparent whatever blue and green say
    pic.SetEntry(2, 128, 128, 128); // grey 128
    pic.SetEntry(3, 0, 0, 1);       // nearly transparent
    const uint8_t colours[4][3] = {{10, 20, 30}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255}};
    for (int x = 0; x < 4; ++x) {
        std::memcpy(pic.Pixel(x, 0), colours[x], 3);
        pic.Index(x, 0) = static_cast<uint8_t>(x);
    }
    uint8_t frame[16];
    ASSERT_TRUE(ComposeMaskedPixels(4, 1, pic.colour.get(), pic.mask.get(), pic.table, frame));
    const uint8_t expected[16] = {10, 20, 30, 255, 0, 0, 0, 0, 127, 127, 127, 128, 0, 0, 0, 1};
    EXPECT_EQ(0, std::memcmp(frame, expected, 16));
}

TEST_P(ComposeKernel, FiveWideRowsLineUpWithTheirMaskPixels) {
    // Each pixel's colour and opacity name its own position, so a pixel taken
    // from the wrong row or column shows.
    Picture pic(5, 3);
    for (int i = 0; i < 256; ++i)
        pic.SetEntry(i, 0, 0, static_cast<uint8_t>(i));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            const uint8_t id = static_cast<uint8_t>(y * 5 + x + 1);
            uint8_t* c = pic.Pixel(x, y);
            c[0] = c[1] = c[2] = id;
            pic.Index(x, y) = 255;
            if (x == y)
                pic.Index(x, y) = 0;
        }
    std::vector<uint8_t> frame(20 * 3);
    ASSERT_TRUE(
        ComposeMaskedPixels(5, 3, pic.colour.get(), pic.mask.get(), pic.table, frame.data()));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            const uint8_t* o = &frame[y * 20 + x * 4];
            const uint8_t id = x == y ? 0 : static_cast<uint8_t>(y * 5 + x + 1);
            EXPECT_EQ(o[0], id);
            EXPECT_EQ(o[2], id);
            EXPECT_EQ(o[3], x == y ? 0 : 255);
        }
}

TEST_P(ComposeKernel, RandomPicturesMatchThePlainComposition) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const int32_t w = 1 + static_cast<int32_t>(rng() % 90);
        const int32_t h = 1 + static_cast<int32_t>(rng() % 5);
        Picture pic(w, h);
        pic.Randomise(rng);
        // Guard bytes after the frame must stay as they are.
        const size_t frameBytes = Dib32Stride(w) * h;
        std::vector<uint8_t> frame(frameBytes + 16, 0xCD);
        ASSERT_TRUE(
            ComposeMaskedPixels(w, h, pic.colour.get(), pic.mask.get(), pic.table, frame.data()));
        const std::vector<uint8_t> ref =
            Reference(w, h, pic.colour.get(), pic.mask.get(), pic.table);
        ASSERT_EQ(0, std::memcmp(frame.data(), ref.data(), frameBytes)) << w << "x" << h;
        for (size_t i = frameBytes; i < frame.size(); ++i)
            ASSERT_EQ(frame[i], 0xCD) << w << "x" << h;
    }
}

TEST_P(ComposeKernel, RefusesEmptySizesAndMissingBuffers) {
    Picture pic(2, 2);
    uint8_t frame[16] = {};
    const auto compose = ComposeMaskedPixels;
    EXPECT_FALSE(compose(0, 2, pic.colour.get(), pic.mask.get(), pic.table, frame));
    EXPECT_FALSE(compose(2, -1, pic.colour.get(), pic.mask.get(), pic.table, frame));
    EXPECT_FALSE(compose(2, 2, nullptr, pic.mask.get(), pic.table, frame));
    EXPECT_FALSE(compose(2, 2, pic.colour.get(), pic.mask.get(), nullptr, frame));
    for (uint8_t b : frame)
        EXPECT_EQ(b, 0);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ComposeKernel, ::testing::Values(kProcessorAll, 0u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return info.param ? "Dispatched" : "Portable";
                         });

} // namespace
