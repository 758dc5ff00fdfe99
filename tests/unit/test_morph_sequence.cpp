#include "effects/MorphSequence.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<Point32> Outline(const MorphOp& op) {
    return std::vector<Point32>(op.points, op.points + op.nPoints);
}

std::vector<const MorphOp*> OfKind(const MorphSequence& seq, MorphOpKind kind) {
    std::vector<const MorphOp*> out;
    for (int i = 0; i < seq.nOps; ++i) {
        if (seq.ops[i].kind == kind)
            out.push_back(&seq.ops[i]);
    }
    return out;
}

} // namespace

TEST(MorphSequence, FirstWindowWorkedExample) {
    const Rect32 R = {100, 300, 500, 600};
    const Point32 P = {900, 150};
    MorphSequence seq;
    const int nOps = BuildMorphSequence(seq, P, R, true, 300);
    EXPECT_EQ(seq.shipRect, (Rect32{100, 150, 900, 600}));
    EXPECT_EQ(seq.origin, (Point32{100, 150}));
    EXPECT_EQ(seq.nRegions, 21);
    EXPECT_EQ(nOps, 20 + 1 + 9 + 20);
    EXPECT_EQ(nOps, kMorphMaxOps) << "the longest morph fills the list exactly";

    // Phase 1: region, draw of the whole image, pause, ten times.
    for (int i = 0; i < 10; ++i) {
        const MorphOp& region = seq.ops[2 * i];
        const MorphOp& draw = seq.ops[2 * i + 1];
        ASSERT_EQ(region.kind, MorphOpKind::SetRegion);
        ASSERT_EQ(region.nPoints, 4);
        ASSERT_EQ(draw.kind, MorphOpKind::Draw);
        EXPECT_EQ(draw.srcRow, 0);
        EXPECT_EQ(draw.bandHeight, 300);
        EXPECT_TRUE(draw.sleepAfter);
        // The region outline is the drawn quadrilateral with its bottom corners
        // exchanged.
        EXPECT_EQ(Outline(region),
                  (std::vector<Point32>{draw.quad[0], draw.quad[1], draw.quad[3], draw.quad[2]}));
    }
    EXPECT_EQ(Outline(seq.ops[0]),
              (std::vector<Point32>{{53, 149}, {426, 149}, {400, 450}, {0, 450}}));
    EXPECT_EQ(Outline(seq.ops[18]),
              (std::vector<Point32>{{536, 149}, {668, 149}, {400, 450}, {0, 450}}));

    // Phase 2: one triangle region, then the nine steps back to back.
    EXPECT_EQ(Outline(seq.ops[20]), (std::vector<Point32>{{800, 0}, {400, 450}, {0, 450}}));
    for (int s = 1; s <= 9; ++s) {
        const MorphOp& draw = seq.ops[20 + s];
        ASSERT_EQ(draw.kind, MorphOpKind::Draw);
        EXPECT_FALSE(draw.sleepAfter);
        EXPECT_EQ(draw.srcRow, 0);
        EXPECT_EQ(draw.bandHeight, 300);
        MorphQuad q;
        ComputeMorphPolygon(q, P, R, s);
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(draw.quad[c], (Point32{q[c].x - 100, q[c].y - 150})) << s;
    }
    const MorphQuad triangle = {{{800, 0}, {800, 0}, {0, 450}, {400, 450}}};
    EXPECT_EQ(seq.ops[29].quad, triangle);

    // Phase 3: shrinking triangles, the band losing a tenth a frame.
    for (int j = 1; j <= 10; ++j) {
        const MorphOp& region = seq.ops[28 + 2 * j];
        const MorphOp& draw = seq.ops[29 + 2 * j];
        ASSERT_EQ(region.kind, MorphOpKind::SetRegion);
        EXPECT_EQ(region.nPoints, 3);
        EXPECT_EQ(region.points[0], (Point32{800, 0}));
        ASSERT_EQ(draw.kind, MorphOpKind::Draw);
        EXPECT_EQ(draw.quad, triangle);
        EXPECT_EQ(draw.srcRow, 30 * j);
        EXPECT_EQ(draw.bandHeight, 300 - 30 * j);
        EXPECT_TRUE(draw.sleepAfter);
    }
    EXPECT_EQ(Outline(seq.ops[30]), (std::vector<Point32>{{800, 0}, {800, 420}, {54, 420}}));
    EXPECT_EQ(Outline(seq.ops[48]), (std::vector<Point32>{{800, 0}, {800, 100}, {622, 100}}));
    EXPECT_EQ(seq.ops[49].bandHeight, 0);
}

TEST(MorphSequence, LaterWindowsAndPointInsideSkipTheNarrowing) {
    MorphSequence later;
    BuildMorphSequence(later, {900, 150}, {100, 300, 500, 600}, false, 300);
    EXPECT_EQ(later.nRegions, 11);
    EXPECT_EQ(later.nOps, 1 + 9 + 20);
    EXPECT_EQ(later.ops[0].nPoints, 3);

    // P inside R: the ship covers exactly the target, even for the first window.
    MorphSequence inside;
    BuildMorphSequence(inside, {300, 400}, {100, 300, 500, 600}, true, 300);
    EXPECT_EQ(inside.shipRect, (Rect32{100, 300, 500, 600}));
    EXPECT_EQ(inside.nRegions, 11);
    EXPECT_EQ(OfKind(inside, MorphOpKind::Draw).size(), 19u);
    // The left and top edges count as inside.
    BuildMorphSequence(inside, {100, 300}, {100, 300, 500, 600}, true, 300);
    EXPECT_EQ(inside.nRegions, 11);
}

TEST(MorphSequence, RightOrBottomEdgeCountsAsOutside) {
    // P on the right edge, above R's bottom: the top corners slide.
    MorphSequence seq;
    BuildMorphSequence(seq, {500, 400}, {100, 300, 500, 600}, true, 300);
    EXPECT_EQ(seq.nRegions, 21);

    // P on the bottom edge: step 1 is already a triangle (shape 2), so all ten
    // narrowing frames are that triangle.
    BuildMorphSequence(seq, {300, 600}, {100, 300, 500, 600}, true, 300);
    EXPECT_EQ(seq.nRegions, 21);
    MorphQuad q0;
    ASSERT_EQ(ComputeMorphPolygon(q0, {300, 600}, {100, 300, 500, 600}, 1), 2);
    for (int i = 0; i < 10; ++i) {
        const MorphQuad& q = seq.ops[2 * i + 1].quad;
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(q[c], (Point32{q0[c].x - 100, q0[c].y - 300}));
    }
}

TEST(MorphSequence, PointBelowTheTargetMovesTheBottomCorners) {
    const Rect32 R = {100, 50, 500, 150};
    const Point32 P = {900, 250};
    MorphSequence seq;
    BuildMorphSequence(seq, P, R, true, 100);
    EXPECT_EQ(seq.origin, (Point32{100, 50}));
    // Frame 10 is step 1's quadrilateral; the top stays R's top edge.
    const MorphQuad& last = seq.ops[19].quad;
    EXPECT_EQ(last, (MorphQuad{{{0, 0}, {400, 0}, {405, 101}, {603, 101}}}));
    EXPECT_EQ(seq.ops[1].quad[2], (Point32{40, 101})); // 100 + 405 / 10 - origin
    EXPECT_EQ(seq.ops[1].quad[0], (Point32{0, 0}));

    // Step 9 has no height, and every triangle of the last phase lies on P's
    // row, so nothing of the ship is visible then.
    const MorphQuad& step9 = seq.ops[29].quad;
    EXPECT_GE(step9[0].y, step9[2].y);
    for (int j = 1; j <= 10; ++j) {
        const MorphOp& region = seq.ops[28 + 2 * j];
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(region.points[c].y, 200);
    }
}
