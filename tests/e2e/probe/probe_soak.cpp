// Probe commands of the soak and fault runs.
#include "Probe.h"

#include <cstdio>

// ping HWND [TIMEOUT_MS]: the round trip of one message to the window's
// thread in ms, or "timeout" (exit code 1) when it does not answer in time.
PROBE_COMMAND(ping, "ping", 1) {
    const UINT nTimeout = argc > 2 ? (UINT)ParseNum(argv[2]) : 1000;
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(ParseHwnd(argv[1]), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, nTimeout,
                             &result)) {
        printf("timeout\n");
        return 1;
    }
    QueryPerformanceCounter(&t1);
    printf("%lld\n", (long long)((t1.QuadPart - t0.QuadPart) * 1000 / f.QuadPart));
    return 0;
}

// move HWND X Y: moves a window (of any process) without resizing it.
PROBE_COMMAND(move, "move", 3) {
    return SetWindowPos(ParseHwnd(argv[1]), nullptr, (int)ParseNum(argv[2]), (int)ParseNum(argv[3]),
                        0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS)
               ? 0
               : ProbeFail("SetWindowPos failed");
}

// kill-owner HWND: ends the process that owns the window (for targets that
// no longer answer and so cannot be closed).
PROBE_COMMAND(kill_owner, "kill-owner", 1) {
    DWORD pid = 0;
    GetWindowThreadProcessId(ParseHwnd(argv[1]), &pid);
    HANDLE h = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
    if (!h)
        return ProbeFail("no such process");
    const BOOL ok = TerminateProcess(h, 9) && WaitForSingleObject(h, 5000) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ok ? 0 : ProbeFail("process did not end");
}

namespace {

struct EffectCount {
    int cloaks = 0, coils = 0, ships = 0;
};

BOOL CALLBACK CountEffect(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<EffectCount*>(lp);
    char title[64] = "";
    GetWindowTextA(h, title, sizeof title);
    c->cloaks += lstrcmpA(title, "cloaking!") == 0;
    c->coils += lstrcmpA(title, "warp1!") == 0;
    c->ships += lstrcmpA(title, "engage!") == 0 && IsWindowVisible(h);
    return TRUE;
}

} // namespace

// effects: the effect windows on the desktop, "cloaks coils visible-ships".
PROBE_COMMAND(effects, "effects", 0) {
    EffectCount c;
    EnumWindows(CountEffect, (LPARAM)&c);
    printf("%d %d %d\n", c.cloaks, c.coils, c.ships);
    return 0;
}
