// Arithmetic of the warp coil: its flare curve, the scaling of a frame about
// the coil centre, and where a coil is placed. No window system involved.
#pragma once
#include "framework/Portable.h"

// Size factor of frame n: rises from 0 to 1 over frames 0 to 10, drops to
// 0.7921 at frame 11 and falls to exactly 0 at frame 100. The result is
// rounded to single precision, the form in which every frame holds it.
float FlareCurve(int n);

// Constant alpha of a frame: factor × 255, truncated, within 0 to 255.
int FlareAlpha(float factor);

// Scales size by factor (each side truncated) and centres it on centre.
void ScaleAboutCentre(float factor, Point32& topLeft, Size32& size, Point32 centre);

// Top-left corner of a new coil: 80 % across and 10 % down the screen.
Point32 CoilPlacement(int cxScreen, int cyScreen);

// Coil centre: the middle of the image at placement, pushed right and down by
// randX × spread / 32767 and randY × spread / 32767 (rand() values, 0 to
// 32767), all in truncating integer arithmetic.
Point32 CoilCentre(Point32 placement, Size32 size, int randX, int randY, int spread);
