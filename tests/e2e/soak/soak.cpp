// Soak run: hosts the real main dialog in this process and drives
// alternating CLOAK and ENGAGE runs on short-lived target windows of another
// process (targetwin, next to this program). Between runs it checks that the
// dialog answers within 100 ms, that no effect window is left, that the
// targets were minimised, and that the handle and memory figures come back
// to what they were after the first runs.
//
//   soak [RUNS] [EVERY]   RUNS runs (default 200), figures every EVERY runs.
//
// The dialog must answer within 100 ms between runs; during effects, no
// answer may take over 250 ms and at most 1% over 100 ms.
//
// The counts come from the handle ledger (Wine has no GetGuiResources):
// bitmaps, DCs, regions, brushes and fonts the program's code creates, its
// windows, classes and timers, plus the process's kernel handles, threads and
// top-level windows as the system sees them.
#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"

#include "HandleLedger.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Dlg = CMainDlgTestAccess;

namespace {

const DWORD kAnswerMs = 100; // the dialog answers a message within this
// During an effect the machine is shared with the effect's own threads and
// with whatever else runs: a rare late answer is scheduling, a stall is not.
const DWORD kStallMs = 250;
const double kLateShare = 0.01;
const DWORD kRunLimitMs = 30000; // one run may take this long at most
const DWORD kGoneLimitMs = 3000; // effect windows go within this after a run
const DWORD kPingEveryMs = 20;

// Regions, brushes and fonts, which the ledger does not count by itself. A
// region handed to SetWindowRgn belongs to the window from then on.
decltype(&::CreateRectRgn) g_realCreateRectRgn;
decltype(&::CreatePolygonRgn) g_realCreatePolygonRgn;
decltype(&::CreateSolidBrush) g_realCreateSolidBrush;
decltype(&::CreateFontIndirectA) g_realCreateFontIndirectA;
decltype(&::SetWindowRgn) g_realSetWindowRgn;

HRGN WINAPI HookCreateRectRgn(int a, int b, int c, int d) {
    HRGN h = g_realCreateRectRgn(a, b, c, d);
    ledger::AddGdi(h, "region");
    return h;
}
HRGN WINAPI HookCreatePolygonRgn(const POINT* p, int n, int mode) {
    HRGN h = g_realCreatePolygonRgn(p, n, mode);
    ledger::AddGdi(h, "region");
    return h;
}
HBRUSH WINAPI HookCreateSolidBrush(COLORREF c) {
    HBRUSH h = g_realCreateSolidBrush(c);
    ledger::AddGdi(h, "brush");
    return h;
}
HFONT WINAPI HookCreateFontIndirectA(const LOGFONTA* lf) {
    HFONT h = g_realCreateFontIndirectA(lf);
    ledger::AddGdi(h, "font");
    return h;
}
int WINAPI HookSetWindowRgn(HWND w, HRGN r, BOOL redraw) {
    const int n = g_realSetWindowRgn(w, r, redraw);
    if (n)
        ledger::RemoveGdi(r);
    return n;
}

bool InstallLedger() {
    bool ok = ledger::Install();
    ok &= ledger::Patch("gdi32.dll", "CreateRectRgn", (void*)&HookCreateRectRgn,
                        (void**)&g_realCreateRectRgn);
    ok &= ledger::Patch("gdi32.dll", "CreatePolygonRgn", (void*)&HookCreatePolygonRgn,
                        (void**)&g_realCreatePolygonRgn);
    ok &= ledger::Patch("gdi32.dll", "CreateSolidBrush", (void*)&HookCreateSolidBrush,
                        (void**)&g_realCreateSolidBrush);
    ok &= ledger::Patch("gdi32.dll", "CreateFontIndirectA", (void*)&HookCreateFontIndirectA,
                        (void**)&g_realCreateFontIndirectA);
    ok &= ledger::Patch("user32.dll", "SetWindowRgn", (void*)&HookSetWindowRgn,
                        (void**)&g_realSetWindowRgn);
    return ok;
}

struct Figures {
    ledger::Counts counts;
    int nHandles = 0;
    int nThreads = 0;
    int nTopLevel = 0;
    SIZE_T cbWorkingSet = 0;
    SIZE_T cbPrivate = 0;
    bool SameObjects(const Figures& o) const {
        return counts == o.counts && nHandles == o.nHandles && nThreads == o.nThreads &&
               nTopLevel == o.nTopLevel;
    }
};

BOOL CALLBACK CountOwnTopLevel(HWND h, LPARAM lp) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == ::GetCurrentProcessId())
        ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

int CountThreads() {
    HANDLE hSnap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (hSnap == INVALID_HANDLE_VALUE)
        return -1;
    int n = 0;
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    for (BOOL b = ::Thread32First(hSnap, &te); b; b = ::Thread32Next(hSnap, &te))
        n += te.th32OwnerProcessID == ::GetCurrentProcessId();
    ::CloseHandle(hSnap);
    return n;
}

Figures Measure() {
    Figures f;
    f.counts = ledger::Now();
    // Not declared for the Windows version the program targets; Wine has it.
    typedef BOOL(WINAPI * HandleCountFn)(HANDLE, PDWORD);
    static auto pfnHandleCount = reinterpret_cast<HandleCountFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetProcessHandleCount")));
    DWORD nHandles = 0;
    if (!pfnHandleCount || !pfnHandleCount(::GetCurrentProcess(), &nHandles))
        nHandles = 0;
    f.nHandles = static_cast<int>(nHandles);
    f.nThreads = CountThreads();
    ::EnumWindows(CountOwnTopLevel, reinterpret_cast<LPARAM>(&f.nTopLevel));
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) {
        f.cbWorkingSet = pmc.WorkingSetSize;
        f.cbPrivate = pmc.PagefileUsage;
    }
    return f;
}

void Print(const char* label, const Figures& f, DWORD dwMaxPingMs) {
    // Wine answers no kernel handle count: it then shows as 0.
    printf("%-9s %s, handles %d, threads %d, top-level %d, working set %lu KB, private %lu KB, "
           "slowest answer %lu ms\n",
           label, ledger::Describe(f.counts).c_str(), f.nHandles, f.nThreads, f.nTopLevel,
           (unsigned long)(f.cbWorkingSet / 1024), (unsigned long)(f.cbPrivate / 1024),
           (unsigned long)dwMaxPingMs);
    fflush(stdout);
}

double NowMs() {
    static LARGE_INTEGER f = [] {
        LARGE_INTEGER v;
        ::QueryPerformanceFrequency(&v);
        return v;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

struct Soak {
    CMainDlg* pDlg = nullptr;
    int nRuns = 200;
    int nEvery = 20;
    std::string strTargetWin;
    std::vector<std::string> failures;
    DWORD dwMaxPingMs = 0;    // during and between runs, outside CLOAK's preparation
    double dMaxPrepareMs = 0; // CLOAK's preparation, for the record
    int nPings = 0;
    int nLate = 0; // answers during effects slower than kAnswerMs
};

Soak g_soak;

void Fail(int nRun, const std::string& what) {
    char line[512];
    snprintf(line, sizeof line, "run %d: %s", nRun, what.c_str());
    g_soak.failures.push_back(line);
    printf("FAIL: %s\n", line);
    fflush(stdout);
}

// One round trip to the dialog; false when it took longer than kAnswerMs.
bool Ping(DWORD* pdwMs) {
    const double t0 = NowMs();
    DWORD_PTR r = 0;
    const BOOL ok =
        ::SendMessageTimeoutA(g_soak.pDlg->m_hWnd, WM_NULL, 0, 0, SMTO_NORMAL, kRunLimitMs, &r);
    const DWORD dwMs = static_cast<DWORD>(NowMs() - t0);
    ++g_soak.nPings;
    g_soak.dwMaxPingMs = std::max(g_soak.dwMaxPingMs, dwMs);
    if (pdwMs)
        *pdwMs = dwMs;
    return ok && dwMs <= kAnswerMs;
}

struct Target {
    PROCESS_INFORMATION pi = {};
    HWND hWnd = nullptr;
};

bool OpenTarget(int nRun, Target* pTarget) {
    char title[64];
    snprintf(title, sizeof title, "Soak-%d", nRun); // no space: it goes on a command line
    char cmd[512];
    // exit= is a safety net only: every target is closed by the run itself.
    snprintf(cmd, sizeof cmd, "\"%s\" title=%s,x=%d,y=%d,w=%d,h=%d,color=%06X exit=120000",
             g_soak.strTargetWin.c_str(), title, 40 + (nRun % 7) * 40, 60 + (nRun % 5) * 30,
             300 + (nRun % 3) * 40, 200 + (nRun % 4) * 20, (nRun * 0x2F4A17) & 0xFFFFFF);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!::CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pTarget->pi))
        return false;
    for (DWORD t0 = ::GetTickCount(); ::GetTickCount() - t0 < 10000; ::Sleep(20)) {
        pTarget->hWnd = ::FindWindowA("TachyTargetWindow", title);
        if (pTarget->hWnd && ::IsWindowVisible(pTarget->hWnd))
            return true;
    }
    return false;
}

void CloseTarget(Target* pTarget) {
    if (pTarget->hWnd)
        ::PostMessageA(pTarget->hWnd, WM_CLOSE, 0, 0);
    if (pTarget->pi.hProcess) {
        if (::WaitForSingleObject(pTarget->pi.hProcess, 5000) != WAIT_OBJECT_0)
            ::TerminateProcess(pTarget->pi.hProcess, 1);
        ::WaitForSingleObject(pTarget->pi.hProcess, 5000);
        ::CloseHandle(pTarget->pi.hProcess);
        ::CloseHandle(pTarget->pi.hThread);
    }
    *pTarget = Target();
}

LRESULT Command(int nId, DWORD dwTimeout) {
    HWND hDlg = g_soak.pDlg->m_hWnd;
    DWORD_PTR r = 0;
    ::SendMessageTimeoutA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                          (LPARAM)::GetDlgItem(hDlg, nId), SMTO_NORMAL, dwTimeout, &r);
    return (LRESULT)r;
}

// Refreshes the list and selects the target alone; false if it is not listed.
bool SelectTarget(HWND hTarget) {
    CMainDlg& dlg = *g_soak.pDlg;
    Command(IDC_REFRESH, kRunLimitMs);
    HWND hList = ::GetDlgItem(dlg.m_hWnd, IDC_WINDOW_LIST);
    DWORD_PTR r = 0;
    ::SendMessageTimeoutA(hList, LB_SETSEL, FALSE, -1, SMTO_NORMAL, kRunLimitMs, &r);
    for (int i = 0; i < Dlg::WindowCount(dlg); ++i)
        if (Dlg::Windows(dlg)[i] == hTarget)
            return ::SendMessageTimeoutA(hList, LB_SETSEL, TRUE, i, SMTO_NORMAL, kRunLimitMs, &r) &&
                   r != (DWORD_PTR)LB_ERR;
    return false;
}

bool RunFinished(bool bCloak) {
    CMainDlg& dlg = *g_soak.pDlg;
    if (bCloak)
        return Dlg::CloakCount(dlg) == 0;
    return dlg.GetCoilCount() == 0 && ::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_ENGAGE));
}

struct Leftovers {
    int nCloaks = 0, nCoils = 0, nShips = 0;
    int Total() const { return nCloaks + nCoils + nShips; }
};

BOOL CALLBACK CountLeftover(HWND h, LPARAM lp) {
    auto* p = reinterpret_cast<Leftovers*>(lp);
    char title[32] = "";
    ::GetWindowTextA(h, title, sizeof title);
    p->nCloaks += lstrcmpA(title, "cloaking!") == 0;
    p->nCoils += lstrcmpA(title, "warp1!") == 0;
    p->nShips += lstrcmpA(title, "engage!") == 0 && ::IsWindowVisible(h);
    return TRUE;
}

Leftovers EffectWindows() {
    Leftovers l;
    ::EnumWindows(CountLeftover, reinterpret_cast<LPARAM>(&l));
    return l;
}

// Waits for the run to end while pinging the dialog; false on time-out.
bool WaitForRun(int nRun, bool bCloak) {
    const DWORD t0 = ::GetTickCount();
    while (!RunFinished(bCloak)) {
        DWORD dwMs = 0;
        if (!Ping(&dwMs))
            ++g_soak.nLate;
        if (dwMs > kStallMs)
            Fail(nRun, "the dialog took " + std::to_string(dwMs) + " ms to answer during " +
                           (bCloak ? "CLOAK" : "ENGAGE"));
        if (::GetTickCount() - t0 > kRunLimitMs)
            return false;
        ::Sleep(kPingEveryMs);
    }
    return true;
}

void OneRun(int nRun) {
    const bool bCloak = nRun % 2 == 0;
    Target target;
    if (!OpenTarget(nRun, &target)) {
        Fail(nRun, "the target window did not open");
        CloseTarget(&target);
        return;
    }
    if (!SelectTarget(target.hWnd)) {
        Fail(nRun, "the target is not listed");
        CloseTarget(&target);
        return;
    }
    const double t0 = NowMs();
    Command(bCloak ? IDC_CLOAK : IDC_ENGAGE, kRunLimitMs); // CLOAK returns once prepared
    if (bCloak)
        g_soak.dMaxPrepareMs = std::max(g_soak.dMaxPrepareMs, NowMs() - t0);
    if (!WaitForRun(nRun, bCloak))
        Fail(nRun, bCloak ? "the cloak did not finish" : "the engage run did not finish");
    // The engage worker's last act is a posted click on REFRESH LIST, which
    // must not land after the next run's selection.
    ::Sleep(100);
    Leftovers left;
    for (DWORD t1 = ::GetTickCount(); ::GetTickCount() - t1 < kGoneLimitMs; ::Sleep(20))
        if ((left = EffectWindows()).Total() == 0)
            break;
    if (left.Total())
        Fail(nRun, "effect windows left: " + std::to_string(left.nCloaks) + " cloaking!, " +
                       std::to_string(left.nCoils) + " warp1!, " + std::to_string(left.nShips) +
                       " visible engage!");
    if (!::IsIconic(target.hWnd))
        Fail(nRun, "the target was not minimised");
    DWORD dwMs = 0;
    if (!Ping(&dwMs))
        Fail(nRun, "the dialog took " + std::to_string(dwMs) + " ms to answer between runs");
    CloseTarget(&target);
}

// The ENGAGE worker posts a refresh when it ends; let such stragglers and
// the thread's own exit settle before the figures are read.
Figures SettledFigures() {
    Ping(nullptr);
    ::Sleep(300);
    Ping(nullptr);
    return Measure();
}

DWORD WINAPI Driver(LPVOID) {
    const int nWarmUp = std::min(g_soak.nRuns, std::max(2, g_soak.nRuns / 10));
    Figures base;
    for (int nRun = 0; nRun < g_soak.nRuns; ++nRun) {
        OneRun(nRun);
        const int nDone = nRun + 1;
        if (nDone == nWarmUp) {
            base = SettledFigures();
            Print("baseline", base, g_soak.dwMaxPingMs);
        } else if (nDone > nWarmUp && (nDone % g_soak.nEvery == 0 || nDone == g_soak.nRuns)) {
            Figures now = SettledFigures();
            char label[32];
            snprintf(label, sizeof label, "run %d", nDone);
            Print(label, now, g_soak.dwMaxPingMs);
            if (nDone == g_soak.nRuns && g_soak.nRuns > nWarmUp) {
                if (!now.SameObjects(base))
                    Fail(nDone, "object counts differ from the baseline");
                // The heap may keep a little; growth with the number of runs
                // is what a leak looks like.
                const SIZE_T cbGrowth =
                    now.cbPrivate > base.cbPrivate ? now.cbPrivate - base.cbPrivate : 0;
                if (cbGrowth > 4u * 1024 * 1024)
                    Fail(nDone,
                         "private memory grew by " + std::to_string(cbGrowth / 1024) + " KB");
            }
        }
    }
    ::PostMessageA(g_soak.pDlg->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

HANDLE g_hDriver = nullptr;

void CALLBACK StartDriver(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_hDriver = ::CreateThread(nullptr, 0, Driver, nullptr, 0, nullptr);
}

std::string SiblingPath(const char* name) {
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    const size_t slash = s.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : s.substr(0, slash + 1)) + name;
}

} // namespace

int main(int argc, char** argv) {
    g_soak.nRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    g_soak.nEvery = argc > 2 ? std::max(1, atoi(argv[2])) : 20;
    g_soak.strTargetWin = SiblingPath("targetwin.exe");
    if (!InstallLedger()) {
        printf("FAIL: the handle ledger could not be installed\n");
        return 2;
    }
    printf("soak: %d runs, CLOAK and ENGAGE in turn\n", g_soak.nRuns);
    const ledger::Counts before = ledger::Now();
    const double t0 = NowMs();
    {
        CMainDlg dlg;
        g_soak.pDlg = &dlg;
        ::SetTimer(nullptr, 0, 200, StartDriver);
        dlg.RunModal();
        if (g_hDriver) {
            ::WaitForSingleObject(g_hDriver, INFINITE);
            ::CloseHandle(g_hDriver);
        }
        g_soak.pDlg = nullptr;
    }
    const ledger::Counts after = ledger::Now();
    printf("after the dialog's teardown: %s (before it: %s)\n", ledger::Describe(after).c_str(),
           ledger::Describe(before).c_str());
    if (!(after == before))
        Fail(g_soak.nRuns, "the dialog's teardown left objects behind");
    printf("%d answers, slowest %lu ms, %d during effects over %lu ms; slowest CLOAK "
           "preparation %.0f ms; %.1f s\n",
           g_soak.nPings, (unsigned long)g_soak.dwMaxPingMs, g_soak.nLate, (unsigned long)kAnswerMs,
           g_soak.dMaxPrepareMs, (NowMs() - t0) / 1000.0);
    if (g_soak.nLate > g_soak.nPings * kLateShare)
        Fail(g_soak.nRuns, "more than 1% of the answers during effects were late");
    const bool ok = g_soak.failures.empty();
    printf("SOAK %s: %d runs, %d failures\n", ok ? "PASSED" : "FAILED", g_soak.nRuns,
           (int)g_soak.failures.size());
    return ok ? 0 : 1;
}
