// Probe commands of the cloak tests.
#include "Probe.h"

#include <cstdio>

// pixel X Y: the screen's colour at a point, as RRGGBB.
PROBE_COMMAND(pixel, "pixel", 2) {
    HDC hdc = GetDC(nullptr);
    COLORREF c = GetPixel(hdc, (int)ParseNum(argv[1]), (int)ParseNum(argv[2]));
    ReleaseDC(nullptr, hdc);
    printf("%02X%02X%02X\n", GetRValue(c), GetGValue(c), GetBValue(c));
    return 0;
}
