// Timing of the warp effect on the real window system: one transition of an
// 800 x 600 target and the blits it issues, the real pace of a coil's 100
// frames, and how soon a stopped engage worker ends.
#include <windows.h>

#include <cstdio>

#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"
#include "effects/WarpCoil.h"
#include "effects/WarpShip.h"

using Dlg = CMainDlgTestAccess;

namespace {

LARGE_INTEGER g_freq;

double NowMs() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return 1000.0 * (double)t.QuadPart / (double)g_freq.QuadPart;
}

void Pump() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageA(&msg);
}

void PumpFor(double ms) {
    const double end = NowMs() + ms;
    while (NowMs() < end) {
        Pump();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

HWND MakeTarget(int x, int y, int cx, int cy) {
    HWND h = ::CreateWindowExA(0, "STATIC", "bench target", WS_POPUP | WS_VISIBLE | SS_GRAYRECT, x,
                               y, cx, cy, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::UpdateWindow(h);
    return h;
}

HWND MakeOwner() {
    return ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

int g_nBlits = 0;
int g_nDraws = 0;
int g_nRegions = 0;
void CountRegion(void*, HWND, const POINT*, int) {
    ++g_nRegions;
}
void CountDraw(void*, int nBlits) {
    g_nBlits += nBlits;
    ++g_nDraws;
}

double g_frameAt[128];
int g_nFrames = 0;
void StampFrame(HWND, int n, BYTE, POINT, SIZE) {
    if (n >= 1 && n <= 100)
        g_frameAt[n] = NowMs();
    g_nFrames = n;
}

void BenchTransition(bool bFirst) {
    HWND hOwner = MakeOwner();
    HWND hTarget = MakeTarget(60, 120, 800, 600);
    PumpFor(100);
    WarpCoil coil;
    coil.Create(::GetModuleHandleA(nullptr), hOwner, 100);
    g_nBlits = g_nDraws = g_nRegions = 0;
    WarpShipObserver obs = {CountRegion, CountDraw, nullptr};
    SetWarpShipObserver(&obs);
    const double t0 = NowMs();
    const int nResult = StartWarpShip(::GetModuleHandleA(nullptr), hTarget, &coil, bFirst);
    const double t1 = NowMs();
    SetWarpShipObserver(nullptr);
    std::printf("transition 800x600 (%s window): result %d, %.1f ms, %d regions, %d draws, "
                "%d StretchBlt calls\n",
                bFirst ? "first" : "later", nResult, t1 - t0, g_nRegions, g_nDraws, g_nBlits);
    // For scripts/bench.sh: metric|value|unit|note
    std::printf("BENCH|warp transition 800x600, %s window|%.1f|ms|%d regions, %d draws, %d "
                "StretchBlt calls%s\n",
                bFirst ? "first" : "later", t1 - t0, g_nRegions, g_nDraws, g_nBlits,
                nResult ? "" : ", FAILED");
    HWND hCoil = coil.GetWindow();
    coil.Destroy();
    WarpCoil::ReleaseWindow(hCoil);
    DestroyWarpShip();
    ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
}

void BenchCoil(bool bBusyOwner) {
    HWND hOwner = MakeOwner();
    WarpCoil coil;
    coil.Create(::GetModuleHandleA(nullptr), hOwner, 100);
    g_nFrames = 0;
    WarpCoil::SetFrameObserver(StampFrame);
    coil.Start();
    if (bBusyOwner)
        ::Sleep(2500); // the window's thread answers nothing meanwhile
    else
        PumpFor(2500);
    WarpCoil::SetFrameObserver(nullptr);
    double worst = 0;
    for (int n = 2; n <= 100; ++n)
        worst = g_frameAt[n] - g_frameAt[n - 1] > worst ? g_frameAt[n] - g_frameAt[n - 1] : worst;
    std::printf("coil (%s): frames 1-%d span %.1f ms (nominal 1980), worst gap %.1f ms\n",
                bBusyOwner ? "owner thread busy" : "owner thread pumping", g_nFrames,
                g_frameAt[100] - g_frameAt[1], worst);
    const char* pszCase = bBusyOwner ? "owner thread busy" : "owner thread pumping";
    std::printf("BENCH|coil span, %s|%.1f|ms|frames 1-%d, nominal 1980\n", pszCase,
                g_frameAt[100] - g_frameAt[1], g_nFrames);
    std::printf("BENCH|coil worst gap, %s|%.1f|ms|nominal 20\n", pszCase, worst);
    HWND hCoil = ::FindWindowA(coil.GetClassName(), nullptr);
    coil.Destroy();
    WarpCoil::ReleaseWindow(hCoil);
    ::DestroyWindow(hOwner);
}

struct WorkerJob {
    CMainDlg* pDlg;
    HWND hTargets[3];
    volatile LONG nTransitionsDone;
};

// Phase one over three windows (stop flag checked between them), then the
// worker's own phase two and closing.
UINT __cdecl BenchWorker(LPVOID pParam) {
    WorkerJob* pJob = static_cast<WorkerJob*>(pParam);
    for (int i = 0; i < 3 && !pJob->pDlg->IsStopRequested(); ++i) {
        pJob->pDlg->WarpWindow(pJob->hTargets[i], i == 0);
        ::InterlockedIncrement(&pJob->nTransitionsDone);
    }
    return EngageThreadProc(pJob->pDlg);
}

void BenchStop(bool bDuringTransition) {
    CMainDlg* pDlg = new CMainDlg;
    pDlg->m_hWnd = MakeOwner();
    WorkerJob job = {pDlg, {}, 0};
    for (int i = 0; i < 3; ++i)
        job.hTargets[i] = MakeTarget(40 + 60 * i, 200 + 40 * i, 500, 400);
    PumpFor(100);
    CWinThread* pThread =
        AfxBeginThread(BenchWorker, &job, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ::DuplicateHandle(::GetCurrentProcess(), pThread->m_hThread, ::GetCurrentProcess(),
                      &Dlg::Worker(*pDlg), 0, FALSE, DUPLICATE_SAME_ACCESS);
    ::ResumeThread(Dlg::Worker(*pDlg));
    if (bDuringTransition)
        PumpFor(60); // inside the first window's transition
    else
        while (job.nTransitionsDone < 3)
            PumpFor(5);
    if (!bDuringTransition)
        PumpFor(200); // well into phase two
    const double t0 = NowMs();
    pDlg->StopEngageWorker();
    const double t1 = NowMs();
    std::printf("stop latency %s: %.1f ms (%ld of 3 transitions played)\n",
                bDuringTransition ? "during a transition" : "during phase two", t1 - t0,
                job.nTransitionsDone);
    std::printf("BENCH|worker stop latency, %s|%.1f|ms|%ld of 3 transitions played\n",
                bDuringTransition ? "during a transition" : "during phase two", t1 - t0,
                job.nTransitionsDone);
    pDlg->DestroyAllCoils();
    for (HWND h : job.hTargets)
        ::DestroyWindow(h);
    ::DestroyWindow(pDlg->m_hWnd);
    pDlg->m_hWnd = nullptr;
    delete pDlg;
    Pump();
}

} // namespace

int main() {
    ::QueryPerformanceFrequency(&g_freq);
    ::timeBeginPeriod(1);
    BenchTransition(true);
    BenchTransition(false);
    BenchCoil(false);
    BenchCoil(true);
    BenchStop(true);
    BenchStop(false);
    ::timeEndPeriod(1);
    return 0;
}
