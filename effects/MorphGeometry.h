// Arithmetic of the warp morph: two step curves, the shrinking of a rectangle
// toward a point, the quadrilateral of one morph step and the plan of the
// strip blit that maps an image band onto such a quadrilateral. Free functions
// without state and without a window system; the Win32 side wraps the strip
// plan around StretchBlt.
#pragma once
#include "framework/Portable.h"

// Four corners in Z order: [0] top-left, [1] top-right, [2] bottom-left,
// [3] bottom-right. The top edge lies on row [0].y, the bottom edge on [2].y.
struct MorphQuad {
    Point32 pt[4];
    Point32& operator[](int i) { return pt[i]; }
    const Point32& operator[](int i) const { return pt[i]; }
};

inline bool operator==(const MorphQuad& a, const MorphQuad& b) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

// Curve selectors of ShrinkRectToPoint.
constexpr int kCurveB = 0; // EaseSquare30, last step 10
constexpr int kCurveA = 1; // EaseSquare9, last step 9 (any nonzero value)

// Part of `distance` covered at `step`: curve A reaches the whole distance at
// step 9, curve B about 78 % of it at step 10.
int EaseSquare9(int distance, int step);
int EaseSquare30(int distance, int step);

// Moves each edge of R toward P by the selected curve. Returns 0 with L
// written, or -1 (L untouched) when step lies past the curve's last step.
int ShrinkRectToPoint(Rect32& L, Point32 P, const Rect32& R, int step, int curve);

// Bounding box of R and the bare coordinate P.
void UnionRectPoint(Rect32& B, Point32 P, const Rect32& R);

// Quadrilateral of morph step `step` (curve A). Returns the shape code 0, 1 or
// 2 with Q written, or -1 with Q untouched; callers keep drawing the previous
// quadrilateral in that case.
int ComputeMorphPolygon(MorphQuad& Q, Point32 P, const Rect32& R, int step);

// One strip of the strip blit: destination x, y, width, height, then source
// x, y, width, height, as StretchBlt takes them.
using StripBlitFn = void (*)(void* ctx, int xDst, int yDst, int cxDst, int cyDst, int xSrc,
                             int ySrc, int cxSrc, int cySrc);

// Maps the source band (xs, ys, ws, hs) onto Q in strips three rows high, one
// source row each, and calls `blit` once per strip. A strip whose source row
// lies outside [0, srcRowLimit), the rows the source bitmap really has, is
// skipped, so no strip ever reads past the image (an empty band names the row
// just below it). Returns the number of strips handed to `blit`.
int StretchQuadStripsPlan(const MorphQuad& Q, int xs, int ys, int ws, int hs, int srcRowLimit,
                          StripBlitFn blit, void* ctx);
