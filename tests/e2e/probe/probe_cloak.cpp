// Probe commands of the cloak tests.
#include "Probe.h"

#include <cstdio>
#include <cstring>
#include <utility>

// pixel X Y: the screen's colour at a point, as RRGGBB.
PROBE_COMMAND(pixel, "pixel", 2) {
    HDC hdc = GetDC(nullptr);
    COLORREF c = GetPixel(hdc, (int)ParseNum(argv[1]), (int)ParseNum(argv[2]));
    ReleaseDC(nullptr, hdc);
    printf("%02X%02X%02X\n", GetRValue(c), GetGValue(c), GetBValue(c));
    return 0;
}

namespace {

BOOL CALLBACK CountShownTitle(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<std::pair<const char*, int>*>(lp);
    char title[512] = "";
    GetWindowTextA(h, title, sizeof title);
    if (strcmp(title, s->first) == 0 && IsWindowVisible(h))
        ++s->second;
    return TRUE;
}

} // namespace

// most-shown TITLE MS: watches for MS ms (every 10 ms) and prints the largest
// number of shown windows titled TITLE seen at once; ends early once some
// were seen and all are gone again. Short-lived windows escape slower probes.
PROBE_COMMAND(most_shown, "most-shown", 2) {
    const DWORD end = GetTickCount() + (DWORD)ParseNum(argv[2]);
    int most = 0;
    while ((int)(end - GetTickCount()) > 0) {
        std::pair<const char*, int> s(argv[1], 0);
        EnumWindows(CountShownTitle, (LPARAM)&s);
        most = s.second > most ? s.second : most;
        if (most > 0 && s.second == 0)
            break;
        Sleep(10);
    }
    printf("%d\n", most);
    return 0;
}
