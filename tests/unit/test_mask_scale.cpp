// The quick mask scaling: filtering between colour-table colours, nearest
// entry, row order and bad input.
#include "effects/ComposeKernel.h"
#include "effects/MaskScale.h"
#include "effects/Processor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The nearest entry by trying every one, the first of equals winning.
uint8_t NearestByHand(const std::vector<uint8_t>& table, int nColours, int r, int g, int b) {
    int best = 0;
    int bestDiff = 1 << 30;
    for (int i = 0; i < nColours; ++i) {
        const int db = b - table[i * 4], dg = g - table[i * 4 + 1], dr = r - table[i * 4 + 2];
        const int diff = dr * dr + dg * dg + db * db;
        if (diff < bestDiff) {
            bestDiff = diff;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

// A grey ramp: entry i is (i, i, i).
std::vector<uint8_t> GreyRamp() {
    std::vector<uint8_t> t(256 * 4);
    for (int i = 0; i < 256; ++i)
        t[i * 4] = t[i * 4 + 1] = t[i * 4 + 2] = static_cast<uint8_t>(i);
    return t;
}

} // namespace

TEST(MaskScale, SameSizeKeepsIndicesAndUpscalingFiltersBetweenColours) {
    const std::vector<uint8_t> ramp = GreyRamp();
    // 3 x 2, rows bottom first with 4-byte strides.
    const uint8_t src[8] = {10, 20, 30, 0, 200, 100, 0, 0};
    uint8_t same[8] = {};
    ASSERT_TRUE(ScaleMaskSmooth(3, 2, src, ramp.data(), 256, 3, 2, same));
    for (int i : {0, 1, 2, 4, 5, 6})
        EXPECT_EQ(same[i], src[i]);

    // 2 x 1 -> 4 x 1: the position advances by 0.5 per pixel, the last
    // pixel clamps to the edge.
    const uint8_t pair[4] = {0, 100, 0, 0};
    uint8_t wide[4] = {};
    ASSERT_TRUE(ScaleMaskSmooth(2, 1, pair, ramp.data(), 256, 4, 1, wide));
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[1], 50);
    EXPECT_EQ(wide[2], 100);
    EXPECT_EQ(wide[3], 100);

    // Vertically the top source row comes first although rows are stored
    // bottom first: 1 x 2 (bottom 0, top 200) -> 1 x 4.
    const uint8_t column[8] = {0, 0, 0, 0, 200, 0, 0, 0};
    uint8_t tall[16] = {};
    ASSERT_TRUE(ScaleMaskSmooth(1, 2, column, ramp.data(), 256, 1, 4, tall));
    EXPECT_EQ(tall[12], 200); // top row
    EXPECT_EQ(tall[8], 100);
    EXPECT_EQ(tall[4], 0);
    EXPECT_EQ(tall[0], 0);
}

TEST(MaskScale, NearestEntryFirstOfEqualsAndBadInput) {
    // Two entries: black and a grey of 100; a 50-grey is as near to both and
    // the first wins. Indices past the table are black.
    std::vector<uint8_t> table = {0, 0, 0, 0, 100, 100, 100, 0};
    const uint8_t pair[4] = {0, 1, 0, 0};
    uint8_t wide[4] = {};
    ASSERT_TRUE(ScaleMaskSmooth(2, 1, pair, table.data(), 2, 4, 1, wide));
    EXPECT_EQ(wide[1], 0) << "a tie goes to the first entry";
    EXPECT_EQ(wide[2], 1);
    const uint8_t outside[4] = {7, 7, 0, 0};
    ASSERT_TRUE(ScaleMaskSmooth(2, 1, outside, table.data(), 2, 3, 1, wide));
    EXPECT_EQ(wide[0], 0);

    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_FALSE(ScaleMaskSmooth(0, 1, pair, table.data(), 2, 1, 1, out));
    EXPECT_FALSE(ScaleMaskSmooth(2, 1, pair, table.data(), 2, 0, 1, out));
    EXPECT_FALSE(ScaleMaskSmooth(2, 1, nullptr, table.data(), 2, 1, 1, out));
    EXPECT_FALSE(ScaleMaskSmooth(2, 1, pair, table.data(), 0, 1, 1, out));
    EXPECT_FALSE(ScaleMaskSmooth(2, 1, pair, table.data(), 257, 1, 1, out));
    EXPECT_EQ(out[0], 9) << "nothing written on failure";
}

// One cache serves every mask: for any colour it must give the entry that a
// search of the whole table gives, keep its answers for the same table and
// start over for another one.
TEST(MaskScale, ASharedCacheAnswersAsASearchOfTheWholeTable) {
    uint32_t seed = 99;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    std::vector<uint8_t> scattered(256 * 4), few(5 * 4), clustered(256 * 4);
    for (auto& b : scattered)
        b = next();
    for (auto& b : few)
        b = next();
    // Many entries close together and some equal: ties and near misses.
    for (size_t i = 0; i < clustered.size(); ++i)
        clustered[i] = static_cast<uint8_t>(120 + next() % 12);
    struct Table {
        const std::vector<uint8_t>* entries;
        int nColours;
    };
    const Table tables[] = {{&scattered, 256}, {&few, 5}, {&clustered, 256}, {&scattered, 256}};
    NearestEntryCache cache;
    for (const Table& t : tables) {
        cache.UseTable(t.entries->data(), t.nColours);
        // Every colour twice: the second answer comes from the cache.
        for (int round = 0; round < 2; ++round) {
            uint32_t colourSeed = 5;
            for (int k = 0; k < 4000; ++k) {
                colourSeed = colourSeed * 1664525u + 1013904223u;
                // Around the cluster as often as anywhere.
                uint32_t rgb = colourSeed >> 8;
                if (k % 2)
                    rgb = (rgb & 0x0F0F0F) + 0x787878;
                const int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
                ASSERT_EQ(cache.Find(rgb), NearestByHand(*t.entries, t.nColours, r, g, b))
                    << "colour " << std::hex << rgb << " table of " << std::dec << t.nColours;
            }
        }
        ASSERT_EQ(cache.Find(0), NearestByHand(*t.entries, t.nColours, 0, 0, 0)) << "black";
    }
}

// Black is what a free slot of the cache answers: it must still be the
// nearest entry of black in a table where that is not entry 0, also through
// the scaling, where an index past the table is black.
TEST(MaskScale, BlackAndIndicesPastTheTableThroughTheSharedCache) {
    NearestEntryCache cache;
    const uint8_t dark[8] = {9, 9, 9, 0, 0, 0, 0, 0};
    const uint8_t one[4] = {1, 0, 0, 0};
    uint8_t out[4] = {};
    ASSERT_TRUE(ScaleMaskSmooth(1, 1, one, dark, 2, 1, 1, out, &cache));
    EXPECT_EQ(out[0], 1);
    const uint8_t outside[4] = {5, 0, 0, 0};
    ASSERT_TRUE(ScaleMaskSmooth(1, 1, outside, dark, 2, 1, 1, out, &cache));
    EXPECT_EQ(out[0], 1) << "an index past the table is black";
}

// The AVX2 filtering and the SSE2 one give the same indices, for tables with
// many distinct colours and sizes with short rows.
TEST(MaskScale, BothFilteringsGiveTheSameIndices) {
    if (!ProcessorHas(kProcessorAvx2))
        GTEST_SKIP() << "the processor has no AVX2: there is only one filtering";
    uint32_t seed = 2024;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    std::vector<uint8_t> table(256 * 4), src(Dib8Stride(61) * 37);
    for (auto& b : table)
        b = next();
    for (auto& b : src)
        b = next();
    const int32_t sizes[][2] = {{1, 1}, {5, 3}, {61, 37}, {200, 90}, {17, 300}, {33, 2}};
    for (const auto& sz : sizes) {
        std::vector<uint8_t> a(Dib8Stride(sz[0]) * sz[1]), b(a.size());
        ASSERT_TRUE(ScaleMaskSmooth(61, 37, src.data(), table.data(), 256, sz[0], sz[1], a.data()));
        LimitProcessorFeatures(kProcessorSse2);
        const bool bScaled =
            ScaleMaskSmooth(61, 37, src.data(), table.data(), 256, sz[0], sz[1], b.data());
        LimitProcessorFeatures(kProcessorAll);
        ASSERT_TRUE(bScaled);
        EXPECT_EQ(a, b) << sz[0] << "x" << sz[1];
    }
}
