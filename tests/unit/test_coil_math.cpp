#include "effects/CoilMath.h"

#include <gtest/gtest.h>

TEST(CoilMath, TellingFramesOfTheFlare) {
    struct Row {
        int frame;
        float factor;
        int alpha, cx, cy;
    };
    const Row rows[] = {{1, 0.19f, 48, 24, 37},    {5, 0.75f, 191, 96, 150},
                        {10, 1.0f, 255, 128, 200}, {11, 0.7921f, 201, 101, 158},
                        {50, 0.25f, 63, 32, 50},   {90, 0.01f, 2, 1, 1},
                        {94, 0.0036f, 0, 0, 0},    {100, 0.0f, 0, 0, 0}};
    for (const Row& r : rows) {
        const float f = FlareCurve(r.frame);
        EXPECT_FLOAT_EQ(f, r.factor) << "frame " << r.frame;
        EXPECT_EQ(FlareAlpha(f), r.alpha) << "frame " << r.frame;
        Point32 topLeft = {0, 0};
        Size32 size = {128, 200};
        ScaleAboutCentre(f, topLeft, size, {900, 200});
        EXPECT_EQ(size.cx, r.cx) << "frame " << r.frame;
        EXPECT_EQ(size.cy, r.cy) << "frame " << r.frame;
        EXPECT_EQ(topLeft.x, 900 - r.cx / 2);
        EXPECT_EQ(topLeft.y, 200 - r.cy / 2);
    }
    // Frame 0 (the creation frame and the frame after a stop request) is
    // invisible; frame 10 is the only full-size frame.
    EXPECT_EQ(FlareCurve(0), 0.0f);
    EXPECT_EQ(FlareAlpha(FlareCurve(0)), 0);
    for (int n = 1; n <= 100; ++n) {
        if (n != 10) {
            EXPECT_LT(FlareCurve(n), 1.0f) << n;
        }
        if (n >= 94) {
            EXPECT_EQ(FlareAlpha(FlareCurve(n)), 0) << n;
        }
        EXPECT_EQ(FlareCurve(n) > 0.0f, n < 100) << n;
    }
}

TEST(CoilMath, PlacementAndCentre) {
    const Point32 at = CoilPlacement(1024, 768);
    EXPECT_EQ(at, (Point32{819, 76}));
    const Size32 image = {128, 200};
    EXPECT_EQ(CoilCentre(at, image, 0, 0, 100), (Point32{883, 176}));
    EXPECT_EQ(CoilCentre(at, image, 32767, 32767, 100), (Point32{983, 276}));
    EXPECT_EQ(CoilCentre(at, image, 32766, 16384, 100), (Point32{982, 226}));
    EXPECT_EQ(CoilCentre(at, image, 32767, 12345, 0), (Point32{883, 176}));
}
