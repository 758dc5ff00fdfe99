// Memory of the cloak: the peak private memory of the process while N cloaks
// of one size are prepared and have composed each of their 15 frames once,
// above what it used before.
//   bench_memory.exe WIDTH HEIGHT COUNT
// Prints "BENCH|cloak memory WxH xN, peak|MB|..." for scripts/bench.sh.
#include "effects/CloakWindow.h"
#include "tests/win/CloakTestSupport.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

#ifdef _WIN64
const char* const kBuild = "win64 exe";
#else
const char* const kBuild = "win32 exe";
#endif

PROCESS_MEMORY_COUNTERS Counters() {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc;
}

double Megabytes(SIZE_T n) {
    return double(n) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    const int width = argc > 2 ? std::atoi(argv[1]) : 1920;
    const int height = argc > 2 ? std::atoi(argv[2]) : 1080;
    const int count = argc > 3 ? std::atoi(argv[3]) : 1;
    HWND hOwner =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::vector<HWND> targets;
    for (int i = 0; i < count; ++i) {
        targets.push_back(cloaktest::MakeTarget(20 * i, 20 * i, 200, 150, RGB(40, 90 + 20 * i, 200),
                                                "bench target", WS_POPUP));
        ::SetWindowPos(targets.back(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    cloaktest::PumpFor(200);

    const PROCESS_MEMORY_COUNTERS before = Counters();
    std::vector<CloakWindow*> cloaks;
    int made = 0;
    for (HWND hTarget : targets) {
        auto* pCloak = new CloakWindow;
        if (pCloak->Create(::GetModuleHandleA(nullptr), hOwner, hTarget, nullptr, nullptr))
            ++made;
        cloaks.push_back(pCloak);
    }
    // A fade's steps compose every frame and scale every mask: what the
    // cloaks hold while they play, not only once prepared.
    for (CloakWindow* pCloak : cloaks)
        for (int nFrame = 0; pCloak->m_hWnd && nFrame < 15; ++nFrame)
            pCloak->ComposeFrame(nFrame);
    const PROCESS_MEMORY_COUNTERS held = Counters();
    for (CloakWindow* pCloak : cloaks) {
        if (pCloak->m_hWnd)
            ::DestroyWindow(pCloak->m_hWnd);
        delete pCloak;
    }
    const double budget = Megabytes(CloakWindow::BytesFor({width, height}) * count);
    std::printf("BENCH|cloak memory %dx%d x%d, %s, peak|%.0f|MB|%d of %d made; held %.0f MB; "
                "counted %.0f MB\n",
                width, height, count, kBuild,
                Megabytes(held.PeakPagefileUsage - before.PagefileUsage), made, count,
                Megabytes(held.PagefileUsage - before.PagefileUsage), budget);
    for (HWND hTarget : targets)
        ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
    return made == count ? 0 : 1;
}
