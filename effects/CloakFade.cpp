#include "effects/CloakFade.h"

#include "effects/FloatRules.h"

double FadeLevel(int step) {
    DoublePrecisionScope fpu;
    const double t = Pin(static_cast<double>(step)) * 0.033333335f;
    volatile double level = 1.0 - t * t;
    return level;
}

int FadeOpacity(double level) {
    const float single = Single(level);
    DoublePrecisionScope fpu;
    volatile double opacity = Pin(single) * 255.0;
    const int32_t a = TruncSat(opacity);
    return a < 0 ? 0 : (a > 255 ? 255 : a);
}

bool AdvanceCloakFade(int& step, int& frameIndex, int& frame, int& opacity) {
    const double level = FadeLevel(step);
    ++step;
    if (!(level > 0.0))
        return false;
    if (frameIndex > kCloakFrameCount - 1 || frameIndex < 0)
        frameIndex = 0;
    frame = frameIndex++;
    opacity = FadeOpacity(level);
    return true;
}
