#include "effects/MorphSequence.h"

#include "effects/FloatRules.h"

namespace {

Point32 ToShip(const MorphSequence& seq, Point32 p) {
    return {Saturate32(static_cast<int64_t>(p.x) - seq.origin.x),
            Saturate32(static_cast<int64_t>(p.y) - seq.origin.y)};
}

MorphQuad ToShip(const MorphSequence& seq, const MorphQuad& q) {
    MorphQuad out;
    for (int i = 0; i < 4; ++i)
        out[i] = ToShip(seq, q[i]);
    return out;
}

MorphOp* Append(MorphSequence& seq, MorphOpKind kind) {
    MorphOp* op = &seq.ops[seq.nOps++];
    *op = MorphOp{};
    op->kind = kind;
    return op;
}

// Region outlines run top-left, top-right, bottom-right, bottom-left.
void AddQuadRegion(MorphSequence& seq, const MorphQuad& shipQuad) {
    MorphOp* op = Append(seq, MorphOpKind::SetRegion);
    op->nPoints = 4;
    op->points[0] = shipQuad[0];
    op->points[1] = shipQuad[1];
    op->points[2] = shipQuad[3];
    op->points[3] = shipQuad[2];
    ++seq.nRegions;
}

// Triangle with apex P and base the bottom edge of `base`.
void AddTriangleRegion(MorphSequence& seq, Point32 P, const Rect32& base) {
    MorphOp* op = Append(seq, MorphOpKind::SetRegion);
    op->nPoints = 3;
    op->points[0] = ToShip(seq, P);
    op->points[1] = ToShip(seq, Point32{base.right, base.bottom});
    op->points[2] = ToShip(seq, Point32{base.left, base.bottom});
    ++seq.nRegions;
}

void AddDraw(MorphSequence& seq, const MorphQuad& shipQuad, int srcRow, int bandHeight,
             bool sleepAfter) {
    MorphOp* op = Append(seq, MorphOpKind::Draw);
    op->quad = shipQuad;
    op->srcRow = srcRow;
    op->bandHeight = bandHeight;
    op->sleepAfter = sleepAfter;
}

// R's corner x plus (target x - R's corner x) * i / 10, in integers.
int32_t Slide(int32_t from, int32_t to, int i) {
    return Saturate32(from + (static_cast<int64_t>(to) - from) * i / 10);
}

bool PtInRect32(const Rect32& r, Point32 p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

// The window's outline leans toward P over ten frames, ending on step 1's
// quadrilateral.
void NarrowTowardPoint(MorphSequence& seq, Point32 P, const Rect32& R, int imageHeight) {
    MorphQuad q0 = {};
    const int k0 = ComputeMorphPolygon(q0, P, R, 1);
    for (int i = 1; i <= kMorphNarrowFrames; ++i) {
        MorphQuad frame = q0;
        if (k0 == 0) {
            frame[0].x = Slide(R.left, q0[0].x, i);
            frame[1].x = Slide(R.right, q0[1].x, i);
        } else if (k0 == 1) {
            frame[2].x = Slide(R.left, q0[2].x, i);
            frame[3].x = Slide(R.right, q0[3].x, i);
        }
        const MorphQuad shipFrame = ToShip(seq, frame);
        AddQuadRegion(seq, shipFrame);
        AddDraw(seq, shipFrame, 0, imageHeight, true);
    }
}

} // namespace

int BuildMorphSequence(MorphSequence& seq, Point32 P, const Rect32& R, bool first,
                       int imageHeight) {
    seq.nOps = 0;
    seq.nRegions = 0;
    UnionRectPoint(seq.shipRect, P, R);
    seq.origin = {seq.shipRect.left, seq.shipRect.top};

    if (first && !PtInRect32(R, P))
        NarrowTowardPoint(seq, P, R, imageHeight);

    // The triangle P and R's bottom edge; the nine steps are drawn into it
    // back to back, and the last of them is the quadrilateral phase 3 reuses.
    AddTriangleRegion(seq, P, R);
    MorphQuad work = {};
    for (int s = 1; s <= kMorphTriangleSteps; ++s) {
        MorphQuad q;
        if (ComputeMorphPolygon(q, P, R, s) >= 0)
            work = ToShip(seq, q);
        AddDraw(seq, work, 0, imageHeight, false);
    }

    // The triangle's base rides on curve B's rectangle while the band loses
    // a tenth of the image from its top each frame. The region limit can
    // skip whole frames here (region, draw and pause alike).
    for (int j = 1; j <= kMorphShrinkFrames; ++j) {
        Rect32 L;
        ShrinkRectToPoint(L, P, R, j, kCurveB);
        if (seq.nRegions >= kMorphRegionLimit)
            continue;
        Rect32 B;
        UnionRectPoint(B, P, L);
        AddTriangleRegion(seq, P, B);
        const int k = static_cast<int>(static_cast<int64_t>(imageHeight) * j / 10);
        AddDraw(seq, work, k, imageHeight - k, true);
    }
    return seq.nOps;
}
