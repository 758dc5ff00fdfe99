// The effect arithmetic as the 32-bit build computes it. Its floating point
// runs on the x87 unit, so these checks repeat the values the native tests
// pin down and compare the fingerprint of many random inputs with the native
// one.
#include "../unit/GeometryDigest.h"

#include <gtest/gtest.h>

TEST(GeometryX87, CurvesAndQuadrilaterals) {
    const int a[9] = {740740,   2962963,  6666666,  11851852, 18518518,
                      26666667, 36296296, 47407408, 60000000};
    const int b[10] = {4066666,  8266667,  12600000, 17066667, 21666667,
                       26400001, 31266668, 36266668, 41400002, 46666669};
    for (int s = 1; s <= 10; ++s) {
        if (s <= 9) {
            EXPECT_EQ(EaseSquare9(60000000, s), a[s - 1]) << s;
        }
        EXPECT_EQ(EaseSquare30(60000000, s), b[s - 1]) << s;
    }
    // Kept in a register with a 64-bit significand, this product comes out
    // one lower.
    EXPECT_EQ(EaseSquare9(19173961, 7), 11599063);
    EXPECT_EQ(EaseSquare9(-19173961, 7), -11599063);

    MorphQuad q;
    EXPECT_EQ(ComputeMorphPolygon(q, {900, 150}, {100, 300, 500, 600}, 1), 0);
    EXPECT_EQ(q, (MorphQuad{{{636, 299}, {768, 299}, {100, 600}, {500, 600}}}));
    EXPECT_EQ(ComputeMorphPolygon(q, {900, 150}, {100, 300, 500, 600}, 8), 0);
    EXPECT_EQ(q, (MorphQuad{{{844, 182}, {873, 182}, {100, 600}, {500, 600}}}));
    EXPECT_EQ(ComputeMorphPolygon(q, {900, 250}, {100, 50, 500, 150}, 1), 1);
    EXPECT_EQ(q, (MorphQuad{{{100, 50}, {500, 50}, {505, 151}, {703, 151}}}));

    MorphSequence seq;
    BuildMorphSequence(seq, {900, 150}, {100, 300, 500, 600}, true, 300);
    EXPECT_EQ(seq.nRegions, 21);
    EXPECT_EQ(seq.ops[0].points[0], (Point32{53, 149}));
    EXPECT_EQ(seq.ops[30].points[2], (Point32{54, 420}));
    EXPECT_EQ(seq.ops[48].points[2], (Point32{622, 100}));
}

TEST(GeometryX87, CoilAndCloak) {
    const int frames[8] = {1, 5, 10, 11, 50, 90, 94, 100};
    const int alpha[8] = {48, 191, 255, 201, 63, 2, 0, 0};
    const int cx[8] = {24, 96, 128, 101, 32, 1, 0, 0};
    const int cy[8] = {37, 150, 200, 158, 50, 1, 0, 0};
    for (int i = 0; i < 8; ++i) {
        const float f = FlareCurve(frames[i]);
        Point32 tl;
        Size32 size = {128, 200};
        ScaleAboutCentre(f, tl, size, {0, 0});
        EXPECT_EQ(FlareAlpha(f), alpha[i]) << frames[i];
        EXPECT_EQ(size.cx, cx[i]) << frames[i];
        EXPECT_EQ(size.cy, cy[i]) << frames[i];
    }
    EXPECT_EQ(CoilPlacement(1024, 768), (Point32{819, 76}));

    const int opacities[30] = {255, 254, 253, 252, 250, 247, 244, 241, 236, 232,
                               226, 220, 214, 207, 199, 191, 182, 173, 163, 152,
                               141, 130, 117, 105, 91,  77,  63,  48,  32,  16};
    for (int s = 0; s < 30; ++s)
        EXPECT_EQ(FadeOpacity(FadeLevel(s)), opacities[s]) << s;
    EXPECT_LT(FadeLevel(30), 0.0);
}

TEST(GeometryX87, FingerprintMatchesTheNativeBuild) {
    EXPECT_EQ(geometry_digest::Compute(), 17479921829819172708ull);
}
