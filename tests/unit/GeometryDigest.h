// A fingerprint of the effect arithmetic over many pseudo-random inputs. The
// native tests and the 32-bit Windows test program both check it against the
// same constant, so a build whose floating point rounds differently (the x87
// unit keeps 64-bit significands) cannot slip through.
#pragma once
#include "effects/CloakFade.h"
#include "effects/CoilMath.h"
#include "effects/MorphGeometry.h"
#include "effects/MorphSequence.h"

#include <cstdint>
#include <cstring>

namespace geometry_digest {

// Fixed generator and hash, identical on every compiler and library.
struct Lcg {
    uint64_t state;
    uint32_t Next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % uint32_t(hi - lo + 1)); }
};

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void Add(int64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= static_cast<uint8_t>(v >> (8 * i));
            h *= 1099511628211ull;
        }
    }
    void Add(Point32 p) {
        Add(p.x);
        Add(p.y);
    }
    void AddBits(float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        Add(u);
    }
    void AddBits(double d) {
        uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        Add(static_cast<int64_t>(u));
    }
};

inline void HashStrip(void* ctx, int xDst, int yDst, int cxDst, int cyDst, int xSrc, int ySrc,
                      int cxSrc, int cySrc) {
    Fnv& f = *static_cast<Fnv*>(ctx);
    const int v[8] = {xDst, yDst, cxDst, cyDst, xSrc, ySrc, cxSrc, cySrc};
    for (int x : v)
        f.Add(x);
}

inline Rect32 RandomRect(Lcg& g, int span) {
    Rect32 r;
    r.left = g.Range(-span, span);
    r.top = g.Range(-span, span);
    r.right = r.left + g.Range(0, span);
    r.bottom = r.top + g.Range(0, span);
    return r;
}

inline uint64_t Compute() {
    Lcg g{20240611};
    Fnv f;
    for (int i = 0; i < 100000; ++i) {
        const int d = g.Range(-(1 << 26), 1 << 26);
        const int s = g.Range(-2, 11);
        f.Add(EaseSquare9(d, s));
        f.Add(EaseSquare30(d, s));
    }
    for (int i = 0; i < 20000; ++i) {
        const Point32 P = {g.Range(-40000, 40000), g.Range(-40000, 40000)};
        const Rect32 R = RandomRect(g, 40000);
        for (int s = 1; s <= 9; ++s) {
            MorphQuad q = {};
            f.Add(ComputeMorphPolygon(q, P, R, s));
            for (int c = 0; c < 4; ++c)
                f.Add(q[c]);
        }
    }
    for (int i = 0; i < 2000; ++i) {
        const int top = g.Range(-2000, 2000), bottom = top + g.Range(-5, 1500);
        MorphQuad q = {{{g.Range(-3000, 3000), top},
                        {g.Range(-3000, 3000), top},
                        {g.Range(-3000, 3000), bottom},
                        {g.Range(-3000, 3000), bottom}}};
        const int rows = g.Range(1, 1200), k = g.Range(0, rows);
        f.Add(StretchQuadStripsPlan(q, 0, k, 77, rows - k, rows, HashStrip, &f));
    }
    for (int i = 0; i < 2000; ++i) {
        const Point32 P = {g.Range(-3000, 3000), g.Range(-3000, 3000)};
        const Rect32 R = RandomRect(g, 3000);
        MorphSequence seq;
        f.Add(BuildMorphSequence(seq, P, R, (i & 1) != 0, R.bottom - R.top));
        for (int n = 0; n < seq.nOps; ++n) {
            const MorphOp& op = seq.ops[n];
            f.Add(static_cast<int>(op.kind));
            for (int c = 0; c < op.nPoints; ++c)
                f.Add(op.points[c]);
            for (int c = 0; c < 4; ++c)
                f.Add(op.quad[c]);
            f.Add(op.srcRow);
            f.Add(op.bandHeight);
        }
    }
    for (int n = -5; n <= 105; ++n) {
        f.AddBits(FlareCurve(n));
        f.AddBits(FadeLevel(n));
        f.Add(FadeOpacity(FadeLevel(n)));
    }
    for (int i = 0; i < 1000; ++i) {
        Point32 tl;
        Size32 size = {g.Range(0, 5000), g.Range(0, 5000)};
        ScaleAboutCentre(FlareCurve(g.Range(0, 100)), tl, size, {g.Range(0, 3000), 0});
        f.Add(tl);
        f.Add(size.cx);
        f.Add(size.cy);
        f.Add(CoilPlacement(g.Range(0, 10000), g.Range(0, 10000)));
    }
    return f.h;
}

} // namespace geometry_digest
