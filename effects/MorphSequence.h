// The warp ship's morph as data: every window region it sets and every strip
// draw it makes, in order, in ship-window coordinates. The Win32 ship walks
// this list with SetWindowRgn, StretchQuadStrips and Sleep; keeping the list
// free of the window system lets the whole choreography be checked natively.
#pragma once
#include "effects/MorphGeometry.h"
#include "framework/Portable.h"

enum class MorphOpKind {
    SetRegion, // polygon region (fill mode ALTERNATE) from the first nPoints points
    Draw       // strip blit of an image band into a quadrilateral
};

struct MorphOp {
    MorphOpKind kind;
    int nPoints;       // SetRegion: 3 (triangle) or 4 (outline TL, TR, BR, BL)
    Point32 points[4]; // SetRegion: the outline
    MorphQuad quad;    // Draw: destination quadrilateral
    int srcRow;        // Draw: first image row of the band
    int bandHeight;    // Draw: rows in the band (0 draws nothing visible)
    bool sleepAfter;   // Draw: pause 5 ms after this draw
};

// The three phases: the first window's narrowing (a region and a draw per
// frame), the triangle (one region, a draw per step), the shrinking (a region
// and a draw per frame). The loops run over these counts, so the list holds
// every operation by construction.
constexpr int kMorphNarrowFrames = 10;
constexpr int kMorphTriangleSteps = 9;
constexpr int kMorphShrinkFrames = 10;
constexpr int kMorphMaxOps =
    2 * kMorphNarrowFrames + 1 + kMorphTriangleSteps + 2 * kMorphShrinkFrames;
// A ship window takes at most this many regions over its life; each window
// gets a ship of its own, whose one morph this sequence is.
constexpr int kMorphRegionLimit = 29;
constexpr int kMorphSleepMs = 5;

struct MorphSequence {
    Rect32 shipRect; // screen rectangle of the ship window: UnionRectPoint(P, R)
    Point32 origin;  // shipRect's top-left; subtracted from every screen point
    int nRegions;    // SetRegion operations in ops
    int nOps;
    MorphOp ops[kMorphMaxOps];
};

// Builds the morph of target rectangle R (screen coordinates, image height
// imageHeight) toward the coil centre P. `first` marks the first window of a
// run, which narrows toward P before the triangle phases when P lies outside
// R. Returns the number of operations.
int BuildMorphSequence(MorphSequence& seq, Point32 P, const Rect32& R, bool first, int imageHeight);
