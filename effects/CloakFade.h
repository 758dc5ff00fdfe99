// The cloak's fade: overall opacity per timer step and the order in which the
// 15 mask frames are shown. No window system involved.
#pragma once

constexpr int kCloakFrameCount = 15;
// The first tick shows frame 2, not frame 0.
constexpr int kCloakFirstFrame = 2;

// 1 - (step / 30)^2 with 1/30 in single precision: 1 at step 0, just below 0
// at step 30.
double FadeLevel(int step);

// Constant alpha for a level: the level in single precision, times 255,
// truncated, within 0 to 255.
int FadeOpacity(double level);

// One timer step of a cloak whose counters start at step 0 and frame index
// kCloakFirstFrame. Returns false, with nothing to draw, once the level has
// reached 0; otherwise gives the frame to show and its opacity.
bool AdvanceCloakFade(int& step, int& frameIndex, int& frame, int& opacity);
