#include "effects/MorphGeometry.h"

#include "effects/FloatRules.h"

namespace {

// Single-precision 1/9 and 1/30, exactly as the curves are defined.
constexpr float kC9 = 0.111111112f;
constexpr float kC30 = 0.0333333351f;

// The curves take 64-bit distances so that the difference of two 32-bit
// coordinates never overflows on the way in.
int32_t Ease9(int64_t distance, int step) {
    DoublePrecisionScope fpu;
    const double a = Pin(static_cast<double>(step)) * kC9;
    volatile double covered = Pin(static_cast<double>(distance)) * a * a;
    return TruncSat(covered);
}

int32_t Ease30(int64_t distance, int step) {
    DoublePrecisionScope fpu;
    const double t = Pin(static_cast<double>(step)) * kC30 + 1.0;
    volatile double covered = (t * t - 1.0) * Pin(static_cast<double>(distance));
    return TruncSat(covered);
}

int32_t MoveToward(int32_t from, int32_t to, int step, bool curveA) {
    const int64_t distance = static_cast<int64_t>(to) - from;
    const int64_t covered = curveA ? Ease9(distance, step) : Ease30(distance, step);
    return Saturate32(from + covered);
}

// px + rnd(a × b × c), the product taken left to right and rnd(v) being
// trunc(v + 0.5).
int32_t OffsetX(int32_t px, double a, double b, double c) {
    DoublePrecisionScope fpu;
    volatile double v = Pin(a) * b * c + 0.5;
    return Saturate32(px + static_cast<int64_t>(TruncSat(v)));
}

double D(int64_t v) {
    return static_cast<double>(v);
}

double Reciprocal(int64_t v) {
    DoublePrecisionScope fpu;
    volatile double r = 1.0 / Pin(static_cast<double>(v));
    return r;
}

} // namespace

int EaseSquare9(int distance, int step) {
    return Ease9(distance, step);
}

int EaseSquare30(int distance, int step) {
    return Ease30(distance, step);
}

int ShrinkRectToPoint(Rect32& L, Point32 P, const Rect32& R, int step, int curve) {
    const bool curveA = curve != kCurveB;
    if (step > (curveA ? 9 : 10))
        return -1;
    Rect32 out;
    out.left = MoveToward(R.left, P.x, step, curveA);
    out.right = MoveToward(R.right, P.x, step, curveA);
    out.top = MoveToward(R.top, P.y, step, curveA);
    out.bottom = MoveToward(R.bottom, P.y, step, curveA);
    L = out;
    return 0;
}

void UnionRectPoint(Rect32& B, Point32 P, const Rect32& R) {
    Rect32 out;
    out.left = P.x < R.left ? P.x : R.left;
    out.top = P.y < R.top ? P.y : R.top;
    out.right = P.x > R.right ? P.x : R.right;
    out.bottom = P.y > R.bottom ? P.y : R.bottom;
    B = out;
}

int ComputeMorphPolygon(MorphQuad& Q, Point32 P, const Rect32& R, int step) {
    Rect32 L;
    if (ShrinkRectToPoint(L, P, R, step, kCurveA) < 0)
        return -1;
    const int64_t dxL = static_cast<int64_t>(L.left) - P.x;
    const int64_t dxR = static_cast<int64_t>(L.right) - P.x;
    const int64_t dyT = static_cast<int64_t>(L.top) - P.y;
    const int64_t dyB = static_cast<int64_t>(L.bottom) - P.y;
    const Point32 bottomLeft = {R.left, R.bottom};
    const Point32 bottomRight = {R.right, R.bottom};

    if (dyB > 0) {
        // P above L's bottom: the top edge lies on L's top row, its ends on the
        // lines from P through L's bottom corners.
        const double inv = Reciprocal(dyB);
        Q[0] = {OffsetX(P.x, inv, D(dyT), D(dxL)), L.top};
        Q[1] = {OffsetX(P.x, D(dxR), inv, D(dyT)), L.top};
        Q[2] = bottomLeft;
        Q[3] = bottomRight;
        return 0;
    }
    if (dyB < 0) {
        // P below L: the bottom edge lies on L's bottom row, its ends on the
        // lines from P through L's top corners.
        const double inv = Reciprocal(dyT);
        Q[0] = {R.left, R.top};
        Q[1] = {R.right, R.top};
        Q[2] = {OffsetX(P.x, inv, D(dyB), D(dxL)), L.bottom};
        Q[3] = {OffsetX(P.x, D(dxR), inv, D(dyB)), L.bottom};
        return 1;
    }
    // P on L's bottom row: a triangle with its apex above P.
    Q[0] = {P.x, L.top};
    Q[1] = Q[0];
    Q[2] = bottomLeft;
    Q[3] = bottomRight;
    return 2;
}

int StretchQuadStripsPlan(const MorphQuad& Q, int xs, int ys, int ws, int hs, int srcRowLimit,
                          StripBlitFn blit, void* ctx) {
    const int64_t H = static_cast<int64_t>(Q[2].y) - Q[0].y;
    if (H <= 0)
        return 0;
    float widthStep, leftInc, srcInc;
    {
        DoublePrecisionScope fpu;
        const double h = Pin(D(H));
        const float leftStep = Single(D(static_cast<int64_t>(Q[2].x) - Q[0].x) / h);
        widthStep = Single(D(static_cast<int64_t>(Q[3].x) - Q[1].x) / h - leftStep);
        const float srcStep = Single(hs / h);
        leftInc = Single(leftStep * 3.0);
        srcInc = Single(srcStep * 3.0);
    }
    // The left edge and the source row are accumulated in single precision;
    // the width is recomputed from the top width for every strip.
    float x = Single(Q[0].x);
    float y = Single(ys);
    const int64_t topWidth = static_cast<int64_t>(Q[1].x) - Q[0].x;
    int nBlits = 0;
    for (int64_t off = 0; off < H; off += 3) {
        int32_t xDst, cxDst, ySrc;
        {
            DoublePrecisionScope fpu;
            xDst = TruncSat(x);
            ySrc = TruncSat(y);
            volatile double grow = Pin(D(off)) * widthStep;
            cxDst = Saturate32(topWidth + TruncSat(grow));
            x = Single(Pin(x) + leftInc);
            y = Single(Pin(y) + srcInc);
        }
        // An empty band names the row just below the image: never read there.
        if (ySrc < 0 || ySrc >= srcRowLimit)
            continue;
        blit(ctx, xDst, Saturate32(Q[0].y + off), cxDst, 3, xs, ySrc, ws, 1);
        ++nBlits;
    }
    return nBlits;
}
