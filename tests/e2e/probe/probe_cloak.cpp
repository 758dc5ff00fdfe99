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

// post-latency LIST MS: for MS ms, sets the list's horizontal extent (0 or 1
// pixel, harmless, and unlike the caret settable with any number of items)
// by a posted LB_SETHORIZONTALEXTENT, reads it back with a sent
// LB_GETHORIZONTALEXTENT, and prints
// the longest time (ms) a posted message waited. A thread stuck in a send
// still answers sent messages but runs no message loop; only the posted
// message shows that. A wait that began before the end is seen to its end
// (at most 30 s).
PROBE_COMMAND(post_latency, "post-latency", 2) {
    HWND list = ParseHwnd(argv[1]);
    const DWORD end = GetTickCount() + (DWORD)ParseNum(argv[2]);
    auto extent = [list]() -> long long {
        DWORD_PTR r = 0;
        if (!SendMessageTimeoutA(list, LB_GETHORIZONTALEXTENT, 0, 0, SMTO_NORMAL, 200, &r))
            return -2;
        return (long long)(LRESULT)r;
    };
    DWORD most = 0;
    while ((int)(end - GetTickCount()) > 0) {
        const long long want = extent() == 1 ? 0 : 1;
        const DWORD t0 = GetTickCount();
        if (!PostMessageA(list, LB_SETHORIZONTALEXTENT, (WPARAM)want, 0))
            return ProbeFail("post");
        while (extent() != want && GetTickCount() - t0 < 30000)
            Sleep(2);
        const DWORD took = GetTickCount() - t0;
        most = took > most ? took : most;
        Sleep(20);
    }
    printf("%lu\n", (unsigned long)most);
    return 0;
}

// shown-after-post TITLE TIMEOUT HWND MSG WPARAM LPARAM: posts the message
// and prints the milliseconds until a window titled TITLE is shown, and its
// rectangle. The window must not be shown before. Polled every millisecond:
// the benchmark of a click's answer times it here, not in a script.
PROBE_COMMAND(shown_after_post, "shown-after-post", 6) {
    auto shown = [&] {
        HWND h = FindWindowA(nullptr, argv[1]);
        return h && IsWindowVisible(h) ? h : nullptr;
    };
    if (shown())
        return ProbeFail("the window is shown already");
    LARGE_INTEGER f, start, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&start);
    if (!PostMessageA(ParseHwnd(argv[3]), (UINT)ParseNum(argv[4]), (WPARAM)ParseNum(argv[5]),
                      (LPARAM)ParseNum(argv[6])))
        return ProbeFail("PostMessage failed");
    const DWORD timeout = (DWORD)ParseNum(argv[2]);
    const DWORD begun = GetTickCount();
    HWND h = nullptr;
    while (!(h = shown())) {
        if (GetTickCount() - begun > timeout)
            return ProbeFail("the window was not shown");
        Sleep(1);
    }
    QueryPerformanceCounter(&now);
    RECT rc = {};
    GetWindowRect(h, &rc);
    printf("%.1f %ld,%ld,%ld,%ld\n",
           (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)f.QuadPart, rc.left, rc.top,
           rc.right, rc.bottom);
    return 0;
}
