// The artwork generator: the file formats it writes and the properties of the
// pictures that the program's code relies on (sizes, depths, mask colours,
// opacity tables, the cloak animation's smoothness and loop).
#include "tools/artgen/Art.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace artgen;

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | b[at + i];
    }
    return v;
}

// Reads an uncompressed BMP back into top-down indices (palettized) or RGB
// triples (24-bit), checking the header fields on the way.
struct DecodedBmp {
    int width = 0, height = 0, bits = 0;
    uint32_t colours = 0;
    std::vector<uint32_t> pixels; // index, or 0xRRGGBB
};

DecodedBmp DecodeBmp(const std::vector<uint8_t>& b) {
    DecodedBmp d;
    EXPECT_EQ('B', b[0]);
    EXPECT_EQ('M', b[1]);
    EXPECT_EQ(b.size(), Le(b, 2, 4));
    EXPECT_EQ(40u, Le(b, 14, 4));
    d.width = static_cast<int>(Le(b, 18, 4));
    d.height = static_cast<int>(Le(b, 22, 4));
    EXPECT_EQ(1u, Le(b, 26, 2));
    d.bits = static_cast<int>(Le(b, 28, 2));
    EXPECT_EQ(0u, Le(b, 30, 4));
    d.colours = Le(b, 46, 4);
    uint32_t offset = Le(b, 10, 4);
    EXPECT_EQ(54u + 4 * d.colours, offset);
    int stride = (d.width * d.bits + 31) / 32 * 4;
    EXPECT_EQ(static_cast<uint32_t>(stride * d.height), Le(b, 34, 4));
    EXPECT_EQ(offset + stride * d.height, b.size());
    for (int y = 0; y < d.height; ++y) {
        size_t row = offset + static_cast<size_t>(stride) * (d.height - 1 - y);
        for (int x = 0; x < d.width; ++x) {
            if (d.bits == 24) {
                size_t p = row + x * 3;
                d.pixels.push_back((b[p + 2] << 16) | (b[p + 1] << 8) | b[p]);
            } else if (d.bits == 8) {
                d.pixels.push_back(b[row + x]);
            } else {
                uint8_t pair = b[row + x / 2];
                d.pixels.push_back(x % 2 == 0 ? pair >> 4 : pair & 15);
            }
        }
    }
    return d;
}

IndexedImage Indexed(int width, int height, int bits) {
    IndexedImage image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    for (int i = 0; i < (1 << bits); ++i) {
        image.palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    }
    for (int i = 0; i < width * height; ++i) {
        image.indices.push_back(static_cast<uint8_t>((i * 7 + 3) % (1 << bits)));
    }
    return image;
}

bool IsBlack(const IndexedImage& image, int x, int y) {
    PaletteEntry c = image.ColourAt(x, y);
    return c.r == 0 && c.g == 0 && c.b == 0;
}

// First pixel inside the rectangle that is not black, or "" when all are.
std::string NonBlackIn(const IndexedImage& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (!IsBlack(image, x, y)) {
                return std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return "";
}

double MeanFrameDifference(const IndexedImage& a, const IndexedImage& b) {
    double sum = 0;
    for (size_t i = 0; i < a.indices.size(); ++i) {
        sum += std::abs(a.palette[a.indices[i]].r - b.palette[b.indices[i]].r);
    }
    return sum / static_cast<double>(a.indices.size());
}

} // namespace

TEST(ArtworkFiles, BmpRowsArePaddedBottomUpAndPalettesCounted) {
    // Widths of 5 and 3 force padding at every depth.
    for (int bits : {8, 4}) {
        IndexedImage image = Indexed(5, 3, bits);
        DecodedBmp d = DecodeBmp(EncodeBmp(image));
        EXPECT_EQ(5, d.width);
        EXPECT_EQ(3, d.height);
        EXPECT_EQ(bits, d.bits);
        EXPECT_EQ(static_cast<uint32_t>(1 << bits), d.colours);
        for (size_t i = 0; i < image.indices.size(); ++i) {
            EXPECT_EQ(image.indices[i], d.pixels[i]) << "bits " << bits << " pixel " << i;
        }
    }
    RgbImage rgb;
    rgb.width = 3;
    rgb.height = 2;
    for (int i = 0; i < 18; ++i) {
        rgb.pixels.push_back(static_cast<uint8_t>(i * 13));
    }
    DecodedBmp d = DecodeBmp(EncodeBmp(rgb));
    EXPECT_EQ(24, d.bits);
    EXPECT_EQ(0u, d.colours);
    for (int i = 0; i < 6; ++i) {
        uint32_t expected =
            (rgb.pixels[i * 3] << 16) | (rgb.pixels[i * 3 + 1] << 8) | rgb.pixels[i * 3 + 2];
        EXPECT_EQ(expected, d.pixels[i]) << i;
    }
}

TEST(ArtworkFiles, IconHoldsPalettizedAndAlphaImagesWithAndMasks) {
    std::vector<uint8_t> ico = DrawIconFile();
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(0u, Le(ico, 0, 2));
    EXPECT_EQ(1u, Le(ico, 2, 2));
    ASSERT_EQ(5u, Le(ico, 4, 2));
    int found8[2] = {0, 0};
    int found32[3] = {0, 0, 0};
    for (int e = 0; e < 5; ++e) {
        size_t at = 6 + 16 * e;
        int size = ico[at];
        int bits = static_cast<int>(Le(ico, at + 6, 2));
        uint32_t length = Le(ico, at + 8, 4);
        uint32_t offset = Le(ico, at + 12, 4);
        ASSERT_LE(offset + length, ico.size());
        EXPECT_EQ(size, ico[at + 1]);
        EXPECT_EQ(40u, Le(ico, offset, 4));
        EXPECT_EQ(static_cast<uint32_t>(size), Le(ico, offset + 4, 4));
        EXPECT_EQ(static_cast<uint32_t>(size * 2), Le(ico, offset + 8, 4));
        EXPECT_EQ(static_cast<uint32_t>(bits), Le(ico, offset + 14, 2));
        uint32_t palette = bits == 8 ? 1024 : 0;
        uint32_t colourBytes = static_cast<uint32_t>((size * bits + 31) / 32 * 4 * size);
        uint32_t maskStride = static_cast<uint32_t>((size + 31) / 32 * 4);
        EXPECT_EQ(40 + palette + colourBytes + maskStride * size, length);
        // The emblem is round: the corner is left to the screen (AND bit set;
        // the mask's first stored row is the bottom one) and in true colour
        // it is fully transparent black, as systems without alpha need.
        size_t mask = offset + 40 + palette + colourBytes;
        EXPECT_TRUE(ico[mask] & 0x80) << "size " << size << " bits " << bits;
        size_t centreRow = mask + maskStride * (size / 2);
        EXPECT_FALSE(ico[centreRow + size / 2 / 8] & (0x80 >> (size / 2 % 8))) << size;
        if (bits == 32) {
            EXPECT_EQ(0u, Le(ico, offset + 40, 4));
            found32[size / 16 - 1]++;
        } else {
            ASSERT_EQ(8, bits);
            found8[size / 16 - 1]++;
        }
    }
    EXPECT_EQ(1, found8[0]);
    EXPECT_EQ(1, found8[1]);
    EXPECT_EQ(1, found32[0]);
    EXPECT_EQ(1, found32[1]);
    EXPECT_EQ(1, found32[2]);
    EXPECT_EQ(ico, DrawIconFile()) << "the icon must be drawn the same every time";
}

TEST(Artwork, PictureSizesAndDepths) {
    RgbImage button = DrawButton(colours::kOrange, false);
    EXPECT_EQ(128, button.width);
    EXPECT_EQ(64, button.height);
    IndexedImage main = DrawMainBackground();
    EXPECT_EQ(550, main.width);
    EXPECT_EQ(350, main.height);
    EXPECT_EQ(8, main.bits);
    EXPECT_LE(main.palette.size(), 256u);
    IndexedImage about = DrawAboutBackground();
    EXPECT_EQ(400, about.width);
    EXPECT_EQ(100, about.height);
    EXPECT_EQ(8, about.bits);
    IndexedImage farewell = DrawFarewell();
    EXPECT_EQ(325, farewell.width);
    EXPECT_EQ(217, farewell.height);
    EXPECT_EQ(4, farewell.bits);
    EXPECT_LE(farewell.palette.size(), 16u);
    RgbImage coil = DrawCoil();
    EXPECT_EQ(128, coil.width);
    EXPECT_EQ(200, coil.height);
    IndexedImage coilMask = DrawCoilMask();
    EXPECT_EQ(128, coilMask.width);
    EXPECT_EQ(200, coilMask.height);
    EXPECT_EQ(8, coilMask.bits);
    for (const IndexedImage* image : {&main, &about, &farewell, &coilMask}) {
        for (uint8_t index : image->indices) {
            ASSERT_LT(index, image->palette.size());
        }
    }
}

TEST(Artwork, ButtonMaskHasTwoExactColoursAndMatchesTheFaces) {
    IndexedImage mask = DrawButtonMask();
    ASSERT_EQ(128, mask.width);
    ASSERT_EQ(64, mask.height);
    ASSERT_EQ(8, mask.bits);
    int inside = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            PaletteEntry c = mask.ColourAt(x, y);
            bool dark = c.r == 0x04 && c.g == 0x04 && c.b == 0x04;
            bool light = c.r == 0xFC && c.g == 0xFC && c.b == 0xFC;
            ASSERT_TRUE(dark || light) << x << "," << y;
            inside += dark ? 1 : 0;
        }
    }
    // A rounded shape: corners outside, the centre inside, most of it inside.
    EXPECT_FALSE(mask.ColourAt(0, 0).r == 0x04);
    EXPECT_FALSE(mask.ColourAt(127, 63).r == 0x04);
    EXPECT_EQ(0x04, mask.ColourAt(64, 32).r);
    EXPECT_GT(inside, 128 * 64 * 3 / 4);

    for (Rgb face :
         {colours::kOrange, colours::kBlue, colours::kLavender, colours::kSalmon, colours::kGold}) {
        RgbImage normal = DrawButton(face, false);
        RgbImage pressed = DrawButton(face, true);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 128; ++x) {
                bool lit = normal.At(x, y, 0) + normal.At(x, y, 1) + normal.At(x, y, 2) > 0;
                ASSERT_EQ(lit, mask.ColourAt(x, y).r == 0x04) << x << "," << y;
            }
        }
        int sumNormal = 0, sumPressed = 0;
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_GE(pressed.At(64, 32, ch), normal.At(64, 32, ch));
            sumNormal += normal.At(64, 32, ch);
            sumPressed += pressed.At(64, 32, ch);
        }
        EXPECT_GT(sumPressed, sumNormal + 30) << "pressed is a lighter shade";
    }
}

TEST(Artwork, BackgroundsKeepTheControlAreasBlack) {
    IndexedImage main = DrawMainBackground();
    EXPECT_EQ("", NonBlackIn(main, 122, 31, 533, 263)) << "list";
    EXPECT_EQ("", NonBlackIn(main, 100, 22, 533, 32)) << "progress strip";
    EXPECT_EQ("", NonBlackIn(main, 103, 274, 533, 335)) << "buttons";
    EXPECT_EQ("", NonBlackIn(main, 95, 36, 550, 350)) << "right of the left column";
    EXPECT_FALSE(IsBlack(main, 40, 10)) << "elbow";
    EXPECT_FALSE(IsBlack(main, 40, 200)) << "left column";
    EXPECT_FALSE(IsBlack(main, 500, 12)) << "top bar";

    IndexedImage about = DrawAboutBackground();
    EXPECT_EQ("", NonBlackIn(about, 45, 30, 186, 43)) << "version text";
    EXPECT_EQ("", NonBlackIn(about, 66, 54, 166, 89)) << "CONFIRM";
    EXPECT_EQ("", NonBlackIn(about, 280, 20, 325, 60)) << "icon";
    EXPECT_EQ("", NonBlackIn(about, 227, 62, 365, 75)) << "notice";
    EXPECT_EQ("", NonBlackIn(about, 35, 22, 400, 100)) << "blocks narrower than 35";
    EXPECT_FALSE(IsBlack(about, 15, 8));
    EXPECT_FALSE(IsBlack(about, 15, 85));
}

TEST(Artwork, CoilMaskIsClearAtTheBorderAndBrightInTheRings) {
    IndexedImage mask = DrawCoilMask();
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(i, mask.palette[i].r);
    }
    for (int x = 0; x < mask.width; ++x) {
        ASSERT_EQ(0, mask.ColourAt(x, 0).r) << x;
        ASSERT_EQ(0, mask.ColourAt(x, mask.height - 1).r) << x;
    }
    for (int y = 0; y < mask.height; ++y) {
        ASSERT_EQ(0, mask.ColourAt(0, y).r) << y;
        ASSERT_EQ(0, mask.ColourAt(mask.width - 1, y).r) << y;
    }
    int peak = 0;
    for (uint8_t index : mask.indices) {
        peak = std::max(peak, static_cast<int>(mask.palette[index].r));
    }
    EXPECT_GE(peak, 240);
}

TEST(Artwork, CloakPaletteIsARisingNearGreyRamp) {
    std::vector<PaletteEntry> palette = CloakPalette();
    ASSERT_EQ(256u, palette.size());
    EXPECT_EQ(kCloakMinOpacity, palette[0].r);
    EXPECT_EQ(255, palette[255].r);
    for (size_t i = 0; i < 256; ++i) {
        const PaletteEntry& e = palette[i];
        EXPECT_LE(std::abs(e.r - e.g), 1) << i;
        EXPECT_LE(std::abs(e.g - e.b), 1) << i;
        if (i > 0) {
            const PaletteEntry& p = palette[i - 1];
            EXPECT_TRUE(e.r >= p.r && e.g >= p.g && e.b >= p.b) << i;
            EXPECT_GT(e.r + e.g + e.b, p.r + p.g + p.b) << "entries must be distinct: " << i;
        }
    }
    // A scaled load mixes entries in RGB and maps the mix to the nearest
    // entry: the opacity found must lie between those of the mixed entries.
    for (int i = 0; i < 256; ++i) {
        for (int j = i; j < std::min(256, i + 24); ++j) {
            for (double t : {0.25, 0.5, 0.75}) {
                double r = palette[i].r + t * (palette[j].r - palette[i].r);
                double g = palette[i].g + t * (palette[j].g - palette[i].g);
                double b = palette[i].b + t * (palette[j].b - palette[i].b);
                int mr = static_cast<int>(std::lround(r)), mg = static_cast<int>(std::lround(g)),
                    mb = static_cast<int>(std::lround(b));
                int best = 0, bestDistance = 1 << 30;
                for (int k = 0; k < 256; ++k) {
                    int d = (palette[k].r - mr) * (palette[k].r - mr) +
                            (palette[k].g - mg) * (palette[k].g - mg) +
                            (palette[k].b - mb) * (palette[k].b - mb);
                    if (d < bestDistance) {
                        bestDistance = d;
                        best = k;
                    }
                }
                EXPECT_GE(palette[best].r, palette[i].r - 1) << i << " " << j;
                EXPECT_LE(palette[best].r, palette[j].r + 1) << i << " " << j;
            }
        }
    }
}

TEST(Artwork, CloakMasksAreASmoothLoopingCloud) {
    std::vector<IndexedImage> masks = DrawCloakMasks();
    ASSERT_EQ(static_cast<size_t>(kCloakFrames), masks.size());
    std::vector<double> steps;
    for (int f = 0; f < kCloakFrames; ++f) {
        const IndexedImage& m = masks[f];
        ASSERT_EQ(256, m.width);
        ASSERT_EQ(256, m.height);
        ASSERT_EQ(8, m.bits);
        ASSERT_EQ(256u, m.palette.size());
        int low = 255, high = 0, worstStep = 0;
        double stepSum = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                int v = m.ColourAt(x, y).r;
                low = std::min(low, v);
                high = std::max(high, v);
                if (x > 0) {
                    int d = std::abs(v - m.ColourAt(x - 1, y).r);
                    worstStep = std::max(worstStep, d);
                    stepSum += d;
                }
                if (y > 0) {
                    int d = std::abs(v - m.ColourAt(x, y - 1).r);
                    worstStep = std::max(worstStep, d);
                    stepSum += d;
                }
            }
        }
        EXPECT_GE(low, kCloakMinOpacity) << "frame " << f;
        EXPECT_EQ(255, high) << "frame " << f;
        EXPECT_LT(low, 110) << "frame " << f << " should reach low opacities too";
        EXPECT_LE(worstStep, 24) << "frame " << f;
        EXPECT_LT(stepSum / (2.0 * 256 * 255), 4.0) << "frame " << f;
        steps.push_back(MeanFrameDifference(m, masks[(f + 1) % kCloakFrames]));
    }
    double wrap = steps.back();
    std::vector<double> others(steps.begin(), steps.end() - 1);
    double lowest = *std::min_element(others.begin(), others.end());
    double highest = *std::max_element(others.begin(), others.end());
    EXPECT_GT(lowest, 3.0) << "the cloud must move from frame to frame";
    EXPECT_GE(wrap, lowest * 0.8) << "frame 14 to frame 0";
    EXPECT_LE(wrap, highest * 1.2) << "frame 14 to frame 0";
    EXPECT_LT(highest, 25.0) << "neighbouring frames must still resemble each other";
}
