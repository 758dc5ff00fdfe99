#include "effects/MorphGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Strip {
    int xDst, yDst, cxDst, cyDst, xSrc, ySrc, cxSrc, cySrc;
};

void Record(void* ctx, int xDst, int yDst, int cxDst, int cyDst, int xSrc, int ySrc, int cxSrc,
            int cySrc) {
    static_cast<std::vector<Strip>*>(ctx)->push_back(
        {xDst, yDst, cxDst, cyDst, xSrc, ySrc, cxSrc, cySrc});
}

MorphQuad Quad(Point32 a, Point32 b, Point32 c, Point32 d) {
    return MorphQuad{{a, b, c, d}};
}

} // namespace

TEST(MorphCurves, FractionsMatchTheTablesToSevenDigits) {
    const double curveA[9] = {0.01234568, 0.04938272, 0.1111111, 0.1975309, 0.3086420,
                              0.4444445,  0.6049383,  0.7901235, 1.000000};
    const double curveB[10] = {0.06777778, 0.1377778, 0.2100000, 0.2844445, 0.3611111,
                               0.4400000,  0.5211111, 0.6044445, 0.6900000, 0.7777778};
    const int d = 60000000; // below 2^26, fine enough to read seven digits
    for (int s = 1; s <= 9; ++s) {
        const double tolerance =
            0.5e-6 * std::pow(10.0, std::floor(std::log10(curveA[s - 1]))) + 1.0 / d;
        EXPECT_NEAR(EaseSquare9(d, s) / double(d), curveA[s - 1], tolerance) << "step " << s;
    }
    for (int s = 1; s <= 10; ++s) {
        const double tolerance =
            0.5e-6 * std::pow(10.0, std::floor(std::log10(curveB[s - 1]))) + 1.0 / d;
        EXPECT_NEAR(EaseSquare30(d, s) / double(d), curveB[s - 1], tolerance) << "step " << s;
    }
}

TEST(MorphCurves, EdgeValuesTruncateTowardZero) {
    EXPECT_EQ(EaseSquare9(80, 1), 0);
    EXPECT_EQ(EaseSquare9(81, 1), 1);
    EXPECT_EQ(EaseSquare9(-81, 1), -1);
    EXPECT_EQ(EaseSquare9(1000, 9), 1000);
    EXPECT_EQ(EaseSquare9(-1000, 9), -1000);
    EXPECT_EQ(EaseSquare30(90, 10), 70);
    EXPECT_EQ(EaseSquare30(-90, 10), -70);
    EXPECT_EQ(EaseSquare30(100, 1), 6);
    EXPECT_EQ(EaseSquare30(100, 10), 77);
    // The constants are the single-precision 1/9 and 1/30: step 9 overshoots by
    // 1.49e-8, which shows only beyond 2^26.
    EXPECT_EQ(EaseSquare9((1 << 26) - 1, 9), (1 << 26) - 1);
    EXPECT_EQ(EaseSquare9(1 << 27, 9), (1 << 27) + 2);
}

TEST(ShrinkRectToPoint, StepsPastTheCurveLeaveTheRectangleAlone) {
    const Rect32 R = {100, 300, 500, 600};
    const Point32 P = {900, 150};
    Rect32 L = {1, 2, 3, 4};
    EXPECT_EQ(ShrinkRectToPoint(L, P, R, 10, kCurveA), -1);
    EXPECT_EQ(ShrinkRectToPoint(L, P, R, 11, kCurveB), -1);
    EXPECT_EQ(L, (Rect32{1, 2, 3, 4}));
    EXPECT_EQ(ShrinkRectToPoint(L, P, R, 10, kCurveB), 0);
    EXPECT_EQ(L, (Rect32{722, 184, 811, 250}));
    EXPECT_EQ(ShrinkRectToPoint(L, P, R, 9, 7), 0); // any nonzero selector is curve A
    EXPECT_EQ(L, (Rect32{900, 150, 900, 150}));
}

TEST(ShrinkRectToPoint, EdgesNeverPassThePointAndStepNineCollapses) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-(1 << 25), (1 << 25) - 1);
    for (int n = 0; n < 20000; ++n) {
        const Point32 P = {coord(rng), coord(rng)};
        const Rect32 R = {coord(rng), coord(rng), coord(rng), coord(rng)};
        for (int curve = kCurveB; curve <= kCurveA; ++curve) {
            for (int s = 1; s <= (curve == kCurveA ? 9 : 10); ++s) {
                Rect32 L;
                ASSERT_EQ(ShrinkRectToPoint(L, P, R, s, curve), 0);
                const int32_t from[4] = {R.left, R.right, R.top, R.bottom};
                const int32_t to[4] = {L.left, L.right, L.top, L.bottom};
                const int32_t target[4] = {P.x, P.x, P.y, P.y};
                for (int e = 0; e < 4; ++e) {
                    const int64_t before = int64_t(target[e]) - from[e];
                    const int64_t after = int64_t(target[e]) - to[e];
                    ASSERT_TRUE(before >= 0 ? (after >= 0 && after <= before)
                                            : (after <= 0 && after >= before))
                        << "edge " << e << " step " << s << " curve " << curve;
                }
            }
        }
        Rect32 L;
        ShrinkRectToPoint(L, P, R, 9, kCurveA);
        ASSERT_EQ(L, (Rect32{P.x, P.y, P.x, P.y}));
    }
}

TEST(UnionRectPoint, PointIsABareCoordinate) {
    Rect32 B;
    UnionRectPoint(B, {900, 150}, {100, 300, 500, 600});
    EXPECT_EQ(B, (Rect32{100, 150, 900, 600}));
    UnionRectPoint(B, {200, 400}, {100, 300, 500, 600});
    EXPECT_EQ(B, (Rect32{100, 300, 500, 600}));
    UnionRectPoint(B, {-5, 700}, {100, 300, 500, 600});
    EXPECT_EQ(B, (Rect32{-5, 300, 500, 700}));
}

TEST(ComputeMorphPolygon, WorkedSteps) {
    const Rect32 R = {100, 300, 500, 600};
    const Point32 P = {900, 150};
    MorphQuad Q;
    EXPECT_EQ(ComputeMorphPolygon(Q, P, R, 1), 0);
    EXPECT_EQ(Q, Quad({636, 299}, {768, 299}, {100, 600}, {500, 600}));
    EXPECT_EQ(ComputeMorphPolygon(Q, P, R, 8), 0);
    EXPECT_EQ(Q, Quad({844, 182}, {873, 182}, {100, 600}, {500, 600}));
    EXPECT_EQ(ComputeMorphPolygon(Q, P, R, 9), 2);
    EXPECT_EQ(Q, Quad({900, 150}, {900, 150}, {100, 600}, {500, 600}));

    // P below the rectangle: the bottom edge moves.
    EXPECT_EQ(ComputeMorphPolygon(Q, {900, 250}, {100, 50, 500, 150}, 1), 1);
    EXPECT_EQ(Q, Quad({100, 50}, {500, 50}, {505, 151}, {703, 151}));

    // P inside the rectangle: the top ends fall on the far side of P, so the
    // top edge runs right to left and the image is drawn mirrored.
    EXPECT_EQ(ComputeMorphPolygon(Q, {300, 400}, {100, 300, 500, 600}, 1), 0);
    EXPECT_GT(Q[0].x, Q[1].x);
}

TEST(ComputeMorphPolygon, RejectedStepsKeepThePreviousQuadAndStepNineIsTheTriangle) {
    std::mt19937 rng(777);
    std::uniform_int_distribution<int> coord(-40000, 40000);
    for (int n = 0; n < 20000; ++n) {
        const Point32 P = {coord(rng), coord(rng)};
        Rect32 R = {coord(rng), coord(rng), 0, 0};
        R.right = R.left + (coord(rng) & 0x7fff);
        R.bottom = R.top + (coord(rng) & 0x7fff);
        MorphQuad Q = Quad({1, 2}, {3, 4}, {5, 6}, {7, 8});
        const MorphQuad before = Q;
        ASSERT_EQ(ComputeMorphPolygon(Q, P, R, 10 + (n % 5)), -1);
        ASSERT_EQ(Q, before);
        ASSERT_EQ(ComputeMorphPolygon(Q, P, R, 9), 2);
        ASSERT_EQ(Q, Quad(P, P, {R.left, R.bottom}, {R.right, R.bottom}));
        for (int s = 1; s <= 8; ++s) {
            const int code = ComputeMorphPolygon(Q, P, R, s);
            ASSERT_GE(code, 0);
            ASSERT_EQ(Q[0].y, Q[1].y);
            ASSERT_EQ(Q[2].y, Q[3].y);
        }
    }
}

TEST(StretchQuadStrips, ThreeRowStripsFromOneSourceRowEach) {
    std::vector<Strip> strips;
    const MorphQuad Q = Quad({0, 0}, {10, 0}, {0, 7}, {10, 7});
    EXPECT_EQ(StretchQuadStripsPlan(Q, 0, 0, 10, 7, 7, Record, &strips), 3);
    ASSERT_EQ(strips.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const Strip& s = strips[i];
        EXPECT_EQ(s.xDst, 0);
        EXPECT_EQ(s.yDst, 3 * i);
        EXPECT_EQ(s.cxDst, 10);
        EXPECT_EQ(s.cyDst, 3);
        EXPECT_EQ(s.xSrc, 0);
        EXPECT_EQ(s.ySrc, 3 * i);
        EXPECT_EQ(s.cxSrc, 10);
        EXPECT_EQ(s.cySrc, 1);
    }

    // No height, or upside down: nothing is drawn.
    strips.clear();
    EXPECT_EQ(StretchQuadStripsPlan(Quad({0, 5}, {10, 5}, {0, 5}, {10, 5}), 0, 0, 10, 7, 7, Record,
                                    &strips),
              0);
    EXPECT_EQ(StretchQuadStripsPlan(Quad({0, 9}, {10, 9}, {0, 2}, {10, 2}), 0, 0, 10, 7, 7, Record,
                                    &strips),
              0);
    EXPECT_TRUE(strips.empty());
}

TEST(StretchQuadStrips, TriangleNarrowsAndMirroredWidthsPassThrough) {
    // The step-9 triangle of the worked example in ship coordinates: the left
    // edge moves left and the width grows from 0 to the base.
    std::vector<Strip> strips;
    const MorphQuad tri = Quad({800, 0}, {800, 0}, {0, 450}, {400, 450});
    EXPECT_EQ(StretchQuadStripsPlan(tri, 0, 0, 400, 300, 300, Record, &strips), 150);
    EXPECT_EQ(strips.front().xDst, 800);
    EXPECT_EQ(strips.front().cxDst, 0);
    EXPECT_EQ(strips.back().yDst, 447);
    // The left edge is 800 plus 149 single-precision steps of -5.3333335
    // (5.334); the width is trunc(447 * 0.8888889) = 397, never accumulated.
    EXPECT_EQ(strips.back().xDst, 5);
    EXPECT_EQ(strips.back().cxDst, 397);
    EXPECT_EQ(strips.back().ySrc, 298);

    // Top edge right to left: a negative width reaches the blit unchanged.
    strips.clear();
    StretchQuadStripsPlan(Quad({60, 0}, {40, 0}, {0, 6}, {100, 6}), 0, 0, 10, 6, 6, Record,
                          &strips);
    ASSERT_EQ(strips.size(), 2u);
    EXPECT_EQ(strips[0].cxDst, -20);
    EXPECT_EQ(strips[0].xDst, 60);
    EXPECT_EQ(strips[1].xDst, 30);
    EXPECT_EQ(strips[1].cxDst, 40); // width grows by 20 a row, from the top width
}

TEST(StretchQuadStrips, EmptyBandAndRandomBandsNeverReadOutsideTheImage) {
    // The last frame's band: zero rows starting just past the image.
    std::vector<Strip> strips;
    const MorphQuad tri = Quad({800, 0}, {800, 0}, {0, 450}, {400, 450});
    EXPECT_EQ(StretchQuadStripsPlan(tri, 0, 300, 400, 0, 300, Record, &strips), 0);
    EXPECT_TRUE(strips.empty());

    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> coord(-3000, 3000);
    std::uniform_int_distribution<int> height(1, 2000);
    for (int n = 0; n < 3000; ++n) {
        const int imageHeight = height(rng);
        const int k = imageHeight * (n % 11) / 10;
        const int top = coord(rng);
        const MorphQuad Q = Quad({coord(rng), top}, {coord(rng), top},
                                 {coord(rng), top + height(rng)}, {coord(rng), 0});
        MorphQuad q = Q;
        q[3].y = q[2].y;
        strips.clear();
        const int made =
            StretchQuadStripsPlan(q, 0, k, 50, imageHeight - k, imageHeight, Record, &strips);
        ASSERT_EQ(made, int(strips.size()));
        const int expected = (q[2].y - q[0].y + 2) / 3;
        ASSERT_LE(made, expected);
        if (k < imageHeight) {
            ASSERT_GT(made, 0);
        }
        for (const Strip& s : strips) {
            ASSERT_GE(s.ySrc, 0);
            ASSERT_LT(s.ySrc, imageHeight);
        }
    }
}
