#include "controls/KeyedRegionScan.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// A picture given as rows of text, top row first: '#' a dark pixel, '.' the key.
struct Mask {
    std::vector<std::string> rows;
    uint32_t operator()(int32_t x, int32_t y) const {
        return rows[y][x] == '.' ? kWhite : 0x101010;
    }
    int32_t W() const { return static_cast<int32_t>(rows[0].size()); }
    int32_t H() const { return static_cast<int32_t>(rows.size()); }
};

std::vector<Rect32> Scan(const Mask& mask) {
    RectBlock block;
    EXPECT_TRUE(ScanKeyedRuns(mask.W(), mask.H(), kWhite, mask, block));
    return std::vector<Rect32>(block.Rects(), block.Rects() + block.Count());
}

TEST(KeyedRegionScan, BlockStartsAsRegionDataForFortyRectangles) {
    RectBlock block;
    ASSERT_TRUE(ScanKeyedRuns(2, 2, kWhite, Mask{{"..", ".."}}, block));
    const RectBlockHeader* h = block.Header();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->dwSize, 32u);
    EXPECT_EQ(h->iType, 1u);
    EXPECT_EQ(h->nCount, 0u);
    EXPECT_EQ(h->nRgnSize, 0u);
    EXPECT_EQ(h->rcBound, (Rect32{0, 0, 0, 0}));
    EXPECT_EQ(block.Capacity(), 40u);
    EXPECT_EQ(block.Bytes(), 672u);
}

TEST(KeyedRegionScan, RunsPerRowBottomRowFirst) {
    // All key: nothing. No key: one full-width rectangle per row, bottom up.
    EXPECT_TRUE(Scan(Mask{{"...", "..."}}).empty());
    EXPECT_EQ(Scan(Mask{{"###", "###"}}), (std::vector<Rect32>{{0, 1, 3, 2}, {0, 0, 3, 1}}));
    // A lone pixel in the last column, with the row above left alone; and a
    // run that meets the key in the last column ends before it.
    EXPECT_EQ(Scan(Mask{{"###.", "#..#"}}),
              (std::vector<Rect32>{{0, 1, 1, 2}, {3, 1, 4, 2}, {0, 0, 3, 1}}));
    EXPECT_EQ(Scan(Mask{{".#.##"}}), (std::vector<Rect32>{{1, 0, 2, 1}, {3, 0, 5, 1}}));
    EXPECT_TRUE(Scan(Mask{{"."}}).empty());
    EXPECT_EQ(Scan(Mask{{"#"}}), (std::vector<Rect32>{{0, 0, 1, 1}}));
}

TEST(KeyedRegionScan, ComparesOnlyTheColourBits) {
    RectBlock block;
    // Near-white is inside; a stray top byte on the pixel or key does not count.
    const auto read = [](int32_t x, int32_t) -> uint32_t {
        return x == 0 ? 0xFCFCFC : x == 1 ? 0xFFFFFF : 0x01FFFFFF;
    };
    ASSERT_TRUE(ScanKeyedRuns(3, 1, 0x02FFFFFF, read, block));
    ASSERT_EQ(block.Count(), 1u);
    EXPECT_EQ(block.Rects()[0], (Rect32{0, 0, 1, 1}));
}

TEST(KeyedRegionScan, GrowingKeepsEveryRectangleInOrder) {
    // A checkerboard row of width 2n gives n single-pixel runs.
    for (int32_t n : {40, 41, 80, 81, 200}) {
        const auto read = [](int32_t x, int32_t y) -> uint32_t { return (x + y) % 2 ? kWhite : 0; };
        RectBlock block;
        ASSERT_TRUE(ScanKeyedRuns(2 * n, 1, kWhite, read, block));
        ASSERT_EQ(block.Count(), static_cast<uint32_t>(n));
        EXPECT_EQ(block.Capacity(), (static_cast<uint32_t>(n) + 39) / 40 * 40);
        EXPECT_EQ(block.Bytes(), 32u + 16u * block.Capacity());
        EXPECT_EQ(block.Header()->dwSize, 32u);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ(block.Rects()[i], (Rect32{2 * i, 0, 2 * i + 1, 1})) << n << " " << i;
    }
}

TEST(KeyedRegionScan, RectanglesCoverExactlyTheInsidePixels) {
    std::mt19937 rng(3);
    for (int round = 0; round < 50; ++round) {
        const int32_t w = 1 + static_cast<int32_t>(rng() % 30);
        const int32_t h = 1 + static_cast<int32_t>(rng() % 12);
        Mask mask;
        for (int32_t y = 0; y < h; ++y) {
            std::string row;
            for (int32_t x = 0; x < w; ++x)
                row += rng() % 3 ? '#' : '.';
            mask.rows.push_back(row);
        }
        std::vector<int> cover(static_cast<size_t>(w * h), 0);
        int32_t lastY = h;
        for (const Rect32& r : Scan(mask)) {
            ASSERT_EQ(r.bottom, r.top + 1);
            ASSERT_LE(r.top, lastY); // bottom row first
            lastY = r.top;
            ASSERT_TRUE(0 <= r.left && r.left < r.right && r.right <= w);
            for (int32_t x = r.left; x < r.right; ++x)
                cover[r.top * w + x] += 1;
        }
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(cover[y * w + x], mask.rows[y][x] == '#' ? 1 : 0) << x << "," << y;
    }
}

TEST(KeyedRegionScan, EmptySizesAndMissingReader) {
    RectBlock block;
    EXPECT_TRUE(ScanKeyedRuns(0, 5, kWhite, nullptr, nullptr, block));
    EXPECT_EQ(block.Count(), 0u);
    EXPECT_NE(block.Header(), nullptr);
    EXPECT_FALSE(ScanKeyedRuns(2, 2, kWhite, nullptr, nullptr, block));
    EXPECT_EQ(block.Header(), nullptr);
    EXPECT_FALSE(block.Append({0, 0, 1, 1}));
}

} // namespace
