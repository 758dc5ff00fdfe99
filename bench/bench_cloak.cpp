// Times a cloak's preparation on a target (800 x 600 unless told otherwise)
// under Wine, split into the 15 scaled mask loads, the 15 compositions and
// the rest (the capture among it), and the cadence of its 30 fade steps.
// Not a test: it prints figures.
//   bench_cloak [rounds] [width height]
//   bench_cloak ticks width height     (the work of one fade step)
//   bench_cloak live N width height    (the fade of N cloaks live at once)
#include "effects/CloakWindow.h"

#include "effects/Capture.h"
#include "effects/MaskLoad.h"

#include "app/Messages.h"
#include "tests/win/CloakTestSupport.h"
#include "tests/win/HandleLedger.h"
#include "resource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool g_done = false;

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == UM_CLOAK_DONE)
        g_done = true;
    return ::DefWindowProcA(h, m, w, l);
}

double Ms(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart;
}

HWND MakeOwner() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench owner";
    ::RegisterClassA(&wc);
    return ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One step's work, as Tick does it: the frame's composition, then the
// layered window's update with it; 15 steps of each frame, three times.
int TimeTicks(int width, int height) {
    HWND hOwner = MakeOwner();
    HWND hTarget = cloaktest::MakeTarget(0, 0, width, height, RGB(40, 90, 200), "bench target");
    cloaktest::PumpFor(200);
    auto* pCloak = new CloakWindow;
    if (!pCloak->Create(::GetModuleHandleA(nullptr), hOwner, hTarget, nullptr, nullptr)) {
        std::printf("BENCH|cloak step %dx%d|failed|-|Create failed\n", width, height);
        delete pCloak;
        return 1;
    }
    ::ShowWindow(pCloak->m_hWnd, SW_SHOWNA);
    std::vector<double> compose, update;
    for (int n = 0; n < 45; ++n) {
        LARGE_INTEGER a, b, c;
        ::QueryPerformanceCounter(&a);
        pCloak->ComposeFrame(n % 15);
        ::QueryPerformanceCounter(&b);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 200, AC_SRC_ALPHA};
        POINT ptSource = {0, 0};
        ::UpdateLayeredWindow(pCloak->m_hWnd, nullptr, &pCloak->m_ptPosition, &pCloak->m_size,
                              pCloak->m_hMemDC, &ptSource, 0, &blend, ULW_ALPHA);
        ::QueryPerformanceCounter(&c);
        compose.push_back(Ms(a, b));
        update.push_back(Ms(b, c));
    }
    std::vector<double> total;
    for (size_t i = 0; i < compose.size(); ++i)
        total.push_back(compose[i] + update[i]);
    // Each mask is scaled when first shown: the first round of 15 steps
    // scales them (a set too large to keep scales every step).
    const std::vector<double> firstRound(compose.begin(), compose.begin() + 15);
    std::printf("BENCH|cloak step %dx%d|%.1f|ms|median of 45 (%.1f .. %.1f); composition %.1f "
                "(first round %.1f) + UpdateLayeredWindow %.1f\n",
                width, height, Median(total), *std::min_element(total.begin(), total.end()),
                *std::max_element(total.begin(), total.end()), Median(compose), Median(firstRound),
                Median(update));
    ::DestroyWindow(pCloak->m_hWnd);
    delete pCloak;
    ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
    return 0;
}

int g_nDone = 0;

LRESULT CALLBACK CountingOwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == UM_CLOAK_DONE)
        ++g_nDone;
    return ::DefWindowProcA(h, m, w, l);
}

// N cloaks made one after another and started together, as one press of
// CLOAK does: the span of each fade and the worst gap between two steps of
// any of them.
int TimeLiveCloaks(int count, int width, int height) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingOwnerProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench counting owner";
    ::RegisterClassA(&wc);
    HWND hOwner = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
    std::vector<HWND> targets;
    std::vector<CloakWindow*> cloaks;
    for (int i = 0; i < count; ++i)
        targets.push_back(cloaktest::MakeTarget(10 * i, 10 * i, width, height, RGB(40, 20 * i, 200),
                                                "bench target", WS_POPUP));
    cloaktest::PumpFor(200);
    ledger::SetQuietWindows(targets);
    for (HWND hTarget : targets) {
        auto* pCloak = new CloakWindow;
        if (pCloak->Create(wc.hInstance, hOwner, hTarget, nullptr, nullptr))
            cloaks.push_back(pCloak);
        else
            delete pCloak;
    }
    ledger::TakeUpdates();
    g_nDone = 0;
    for (CloakWindow* pCloak : cloaks)
        pCloak->Start();
    const int nStarted = static_cast<int>(cloaks.size());
    cloaktest::PumpUntil([nStarted] { return g_nDone >= nStarted; }, 20000);
    const auto updates = ledger::TakeUpdates();
    DWORD worst = 0, longest = 0, shortest = ~0u;
    for (CloakWindow* pCloak : cloaks) {
        std::vector<DWORD> ticks;
        for (const auto& u : updates)
            if (u.hWnd == pCloak->m_hWnd && u.dwFlags == ULW_ALPHA)
                ticks.push_back(u.dwTick);
        for (size_t i = 1; i < ticks.size(); ++i)
            worst = std::max(worst, ticks[i] - ticks[i - 1]);
        if (ticks.size() > 1) {
            longest = std::max(longest, ticks.back() - ticks.front());
            shortest = std::min(shortest, ticks.back() - ticks.front());
        }
    }
    std::printf("BENCH|cloak fade span, %d of %dx%d live|%lu|ms|the longest of %d (shortest %lu); "
                "nominal 1450\n",
                count, width, height, longest, nStarted, shortest);
    std::printf("BENCH|cloak fade worst gap, %d of %dx%d live|%lu|ms|nominal 50\n", count, width,
                height, worst);
    for (CloakWindow* pCloak : cloaks) {
        ::DestroyWindow(pCloak->m_hWnd);
        delete pCloak;
    }
    ledger::SetQuietWindows({});
    for (HWND hTarget : targets)
        ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
    return nStarted == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::strcmp(argv[1], "ticks") == 0) {
        ledger::Install();
        return TimeTicks(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (argc > 4 && std::strcmp(argv[1], "live") == 0) {
        ledger::Install();
        return TimeLiveCloaks(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const int width = argc > 3 ? std::atoi(argv[2]) : 800;
    const int height = argc > 3 ? std::atoi(argv[3]) : 600;
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    // The usual size keeps the names of the baseline table.
    const bool bUsual = width == 800 && height == 600;
    ledger::Install();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "bench owner";
    ::RegisterClassA(&wc);
    HWND hOwner = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    wc.hInstance, nullptr);
    HWND hTarget = cloaktest::MakeTarget(100, 80, width, height, RGB(40, 90, 200), "bench target");
    cloaktest::PumpFor(200);

    for (int r = 0; r < rounds; ++r) {
        ::ShowWindow(hTarget, SW_RESTORE);
        cloaktest::PumpFor(200);
        ledger::TakeDebugLines();
        ledger::TakeUpdates();
        auto* pCloak = new CloakWindow;
        LARGE_INTEGER t0, t1;
        ::QueryPerformanceCounter(&t0);
        const BOOL ok = pCloak->Create(wc.hInstance, hOwner, hTarget, nullptr, nullptr);
        ::QueryPerformanceCounter(&t1);
        if (!ok) {
            std::printf("round %d: Create failed\n", r);
            delete pCloak;
            continue;
        }
        // The cloak's own trace counts whole ticks, too coarse for a split:
        // the same steps are timed again one by one on the cloak's capture.
        double load = 0, compose = 0;
        for (int i = 0; i < 15; ++i) {
            LARGE_INTEGER a, b, c;
            ::QueryPerformanceCounter(&a);
            HBITMAP hMask = LoadCloakMask(wc.hInstance, IDB_CLOAK_MASK_FIRST + i, width, height);
            ::QueryPerformanceCounter(&b);
            HBITMAP hFrame = hMask ? ComposeMaskedFrame(pCloak->m_hCaptured, hMask) : nullptr;
            ::QueryPerformanceCounter(&c);
            load += Ms(a, b);
            compose += Ms(b, c);
            if (hFrame)
                ::DeleteObject(hFrame);
            if (hMask)
                ::DeleteObject(hMask);
        }
        // The rest, step by step, done again the same way on the same target:
        // raising it, letting it repaint, the capture, the popup with its
        // first, opaque picture.
        LARGE_INTEGER s0, s1, s2, s3, s4;
        ::QueryPerformanceCounter(&s0);
        ForceForegroundWindow(hTarget);
        ::QueryPerformanceCounter(&s1);
        ::InvalidateRect(hTarget, nullptr, FALSE);
        DWORD_PTR dwAnswer = 0;
        ::SendMessageTimeoutA(hTarget, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, 1000,
                              &dwAnswer);
        ::GdiFlush();
        ::QueryPerformanceCounter(&s2);
        RECT rcTarget;
        ::GetWindowRect(hTarget, &rcTarget);
        HDC hWindowDC = ::GetWindowDC(hTarget);
        HDC hCopyDC = ::CreateCompatibleDC(hWindowDC);
        HBITMAP hCaptured = CreateDib24Section(width, height);
        HGDIOBJ hOld = ::SelectObject(hCopyDC, hCaptured);
        ::BitBlt(hCopyDC, 0, 0, width, height, hWindowDC, 0, 0, SRCCOPY);
        ::SelectObject(hCopyDC, hOld);
        ::DeleteDC(hCopyDC);
        ::ReleaseDC(hTarget, hWindowDC);
        ::QueryPerformanceCounter(&s3);
        HWND hPopup = ::CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST, "bench owner", "", WS_POPUP,
                                        rcTarget.left, rcTarget.top, width, height, nullptr,
                                        nullptr, wc.hInstance, nullptr);
        HDC hShowDC = ::CreateCompatibleDC(nullptr);
        HGDIOBJ hShowOld = ::SelectObject(hShowDC, hCaptured);
        POINT ptPopup = {rcTarget.left, rcTarget.top}, ptSource = {0, 0};
        SIZE szPopup = {width, height};
        ::UpdateLayeredWindow(hPopup, nullptr, &ptPopup, &szPopup, hShowDC, &ptSource, 0, nullptr,
                              0);
        ::QueryPerformanceCounter(&s4);
        ::SelectObject(hShowDC, hShowOld);
        ::DeleteDC(hShowDC);
        ::DestroyWindow(hPopup);
        if (hCaptured)
            ::DeleteObject(hCaptured);
        ledger::TakeDebugLines();
        const double total = Ms(t0, t1);
        // The preparation scales one mask, the first frame's; the steps
        // scale the others as they first show them, and compose each frame.
        const double rest = total - load / 15;
        std::printf("round %d: preparation %.1f ms = one mask load %.1f + the rest %.1f (checks, "
                    "raise, capture, popup); apart: 15 mask loads %.1f, 15 compositions %.1f\n",
                    r, total, load / 15, rest, load, compose);
        // For scripts/bench.sh: metric|value|unit|note
        const char* tag = bUsual ? "" : size;
        const char* sep = bUsual ? "" : " ";
        std::printf("BENCH|cloak preparation %s|%.1f|ms|\n", size, total);
        std::printf(
            "BENCH|cloak preparation%s%s: 15 scaled mask loads|%.1f|ms|timed apart; now one in "
            "the preparation, the others as the steps first show them\n",
            sep, tag, load);
        std::printf(
            "BENCH|cloak preparation%s%s: 15 compositions|%.1f|ms|timed apart; now one a step, "
            "none in the preparation\n",
            sep, tag, compose);
        std::printf("BENCH|cloak preparation%s%s: the rest|%.1f|ms|checks, raise, capture, popup "
                    "(the preparation less one mask load)\n",
                    sep, tag, rest);
        std::printf("BENCH|cloak preparation%s%s: the rest: raise|%.1f|ms|ForceForegroundWindow\n",
                    sep, tag, Ms(s0, s1));
        std::printf("BENCH|cloak preparation%s%s: the rest: repaint|%.1f|ms|InvalidateRect, "
                    "WM_NULL, GdiFlush\n",
                    sep, tag, Ms(s1, s2));
        std::printf(
            "BENCH|cloak preparation%s%s: the rest: capture|%.1f|ms|BitBlt into a 24-bit section\n",
            sep, tag, Ms(s2, s3));
        std::printf("BENCH|cloak preparation%s%s: the rest: popup|%.1f|ms|CreateWindowExA, "
                    "UpdateLayeredWindow\n",
                    sep, tag, Ms(s3, s4));
        g_done = false;
        pCloak->Start();
        cloaktest::PumpUntil([] { return g_done; }, 5000);
        std::vector<DWORD> ticks;
        for (const auto& u : ledger::TakeUpdates())
            if (u.hWnd == pCloak->m_hWnd && u.dwFlags == ULW_ALPHA)
                ticks.push_back(u.dwTick);
        DWORD worst = 0;
        for (size_t i = 1; i < ticks.size(); ++i)
            worst = std::max(worst, ticks[i] - ticks[i - 1]);
        if (!ticks.empty())
            std::printf(
                "round %d: cadence %zu steps, first to last %lu ms (nominal 1450), worst gap "
                "%lu ms (nominal 50)\n",
                r, ticks.size(), ticks.back() - ticks.front(), worst);
        if (!ticks.empty() && bUsual) {
            std::printf("BENCH|cloak fade span|%lu|ms|nominal 1450 (30 steps of 50 ms)\n",
                        ticks.back() - ticks.front());
            std::printf("BENCH|cloak fade worst gap|%lu|ms|nominal 50\n", worst);
        }
        ::DestroyWindow(pCloak->m_hWnd);
        delete pCloak;
    }
    ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
    return 0;
}
