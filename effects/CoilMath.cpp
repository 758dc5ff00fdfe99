#include "effects/CoilMath.h"

#include "effects/FloatRules.h"

float FlareCurve(int n) {
    // Quadratic rise n(20 - n)/100 up to the peak, then (n - 100)^2 / 10000.
    static const float kRise[4] = {-1.0f, 20.0f, 0.0f, 0.01f};
    static const float kFall[4] = {1.0f, -200.0f, 10000.0f, 0.0001f};
    DoublePrecisionScope fpu;
    const double dn = Pin(static_cast<double>(n));
    const float* k = (20.0f - 2.0 * dn >= 0.0f) ? kRise : kFall;
    return Single(((k[0] * dn + k[1]) * dn + k[2]) * k[3]);
}

int FlareAlpha(float factor) {
    DoublePrecisionScope fpu;
    volatile double alpha = Pin(factor) * 255.0;
    const int32_t a = TruncSat(alpha);
    return a < 0 ? 0 : (a > 255 ? 255 : a);
}

void ScaleAboutCentre(float factor, Point32& topLeft, Size32& size, Point32 centre) {
    {
        DoublePrecisionScope fpu;
        volatile double cx = Pin(size.cx) * factor;
        volatile double cy = Pin(size.cy) * factor;
        size.cx = TruncSat(cx);
        size.cy = TruncSat(cy);
    }
    topLeft.x = Saturate32(static_cast<int64_t>(centre.x) - size.cx / 2);
    topLeft.y = Saturate32(static_cast<int64_t>(centre.y) - size.cy / 2);
}

Point32 CoilPlacement(int cxScreen, int cyScreen) {
    DoublePrecisionScope fpu;
    volatile double x = Pin(cxScreen) * 0.8f;
    volatile double y = Pin(cyScreen) * 0.1f;
    return {TruncSat(x), TruncSat(y)};
}

Point32 CoilCentre(Point32 placement, Size32 size, int randX, int randY, int spread) {
    const int64_t dx = static_cast<int64_t>(randX) * spread / 32767;
    const int64_t dy = static_cast<int64_t>(randY) * spread / 32767;
    return {Saturate32(dx + size.cx / 2 + placement.x), Saturate32(dy + size.cy / 2 + placement.y)};
}
