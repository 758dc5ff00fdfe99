// The cloak registry and progress strip, driven inside a real main dialog:
// a thread timer of the dialog's own modal loop runs the scenario.
#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"
#include "effects/CloakWindow.h"

#include "CloakTestSupport.h"
#include "DesktopStandIn.h"
#include "HandleLedger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

using Dlg = CMainDlgTestAccess;

using namespace cloaktest;

namespace {

CMainDlg* g_pDlg = nullptr;
std::function<void(CMainDlg&)> g_scenario;

void CALLBACK RunScenario(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (g_pDlg && g_pDlg->m_hWnd)
        g_scenario(*g_pDlg);
    ::EndDialog(g_pDlg->m_hWnd, IDCANCEL);
}

// Runs the scenario inside the dialog's modal loop, then the dialog's own
// teardown (RunModal), as the program does.
void WithDialog(std::function<void(CMainDlg&)> scenario,
                std::function<void(CMainDlg&)> after = {}) {
    CMainDlg dlg;
    g_pDlg = &dlg;
    g_scenario = std::move(scenario);
    ::SetTimer(nullptr, 0, 100, RunScenario);
    dlg.RunModal();
    if (after)
        after(dlg);
    g_pDlg = nullptr;
}

std::vector<HWND> MakeTargets(int n) {
    std::vector<HWND> v;
    for (int i = 0; i < n; ++i)
        v.push_back(MakeTarget(10 + 30 * (i % 6), 300 + 40 * (i / 6), 120, 90,
                               RGB(20 * i, 255 - 20 * i, 128), "run target", WS_POPUP));
    return v;
}

std::vector<HWND> Popups(CMainDlg& dlg) {
    std::vector<HWND> v;
    for (int i = 0; i < Dlg::CloakCount(dlg); ++i)
        v.push_back(Dlg::Cloaks(dlg)[i].hWnd);
    return v;
}

class CloakRunTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ledger::Install()); }
};

TEST_F(CloakRunTest, TenCloaksAtMostAndAllGoneAfterTheFade) {
    auto targets = MakeTargets(12);
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        std::vector<CloakWindow*> made;
        for (int i = 0; i < 12; ++i)
            made.push_back(dlg.RunCloak(targets[i]));
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(made[i] != nullptr, i < 10) << i;
        ASSERT_EQ(Dlg::CloakCount(dlg), 10);
        for (int i = 0; i < 10; ++i) { // packed, in order of creation
            EXPECT_EQ(Dlg::Cloaks(dlg)[i].pCloak, made[i]);
            EXPECT_EQ(Dlg::Cloaks(dlg)[i].hWnd, made[i]->m_hWnd);
            EXPECT_TRUE(::IsIconic(targets[i]));
        }
        EXPECT_FALSE(::IsIconic(targets[10]));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_STRIP)));
        const auto popups = Popups(dlg);
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
        for (HWND h : popups)
            EXPECT_FALSE(::IsWindow(h));
    });
    for (HWND h : targets)
        ::DestroyWindow(h);
}

TEST_F(CloakRunTest, DoneRemovesOneEntryKeepingTheOrderAndIgnoresStrangers) {
    auto targets = MakeTargets(6);
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        for (HWND h : targets)
            dlg.RunCloak(h);
        ASSERT_EQ(Dlg::CloakCount(dlg), 6);
        const auto popups = Popups(dlg);
        EXPECT_EQ(dlg.OnCloakDone(targets[0]), 1); // not a popup: nothing happens
        EXPECT_EQ(Popups(dlg), popups);
        EXPECT_EQ(dlg.OnCloakDone(popups[3]), 1);
        EXPECT_FALSE(::IsWindow(popups[3]));
        EXPECT_EQ(Popups(dlg),
                  (std::vector<HWND>{popups[0], popups[1], popups[2], popups[4], popups[5]}));
        EXPECT_EQ(Dlg::Cloaks(dlg)[3].pCloak->m_hWnd, popups[4]);
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
    });
    for (HWND h : targets)
        ::DestroyWindow(h);
}

// The system refuses to hide a target of another program (an elevated one,
// here a window whose hide requests do nothing) although it answers. The
// dialog's thread does not wait for that verdict: a message posted as the
// cloak starts is handled while the popup still covers the target. Then the
// cloak reports back, its popup goes and nothing else remains, the target is
// minimised through its window-menu command, and the next window is cloaked
// as usual.
TEST_F(CloakRunTest, ARefusedHideIsJudgedWithoutHoldingTheDialogAndLeavesNoPopup) {
    ThreadTarget refusing;
    refusing.style = WS_POPUP;
    refusing.Open(200, 300, 120, 90, RGB(200, 0, 0));
    auto targets = MakeTargets(1);
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        ledger::SetQuietWindows({refusing.hWnd});
        bool bVerdictOpen = false;
        PostedProbe probe([&] {
            bVerdictOpen = Dlg::CloakCount(dlg) == 1 &&
                           ::IsWindowVisible(Dlg::Cloaks(dlg)[0].hWnd) &&
                           !::IsIconic(refusing.hWnd);
        });
        const ledger::Counts before = ledger::Now();
        probe.Post();
        CloakWindow* pCloak = dlg.RunCloak(refusing.hWnd);
        ASSERT_NE(pCloak, nullptr) << "the verdict was waited for";
        const HWND hPopup = pCloak->m_hWnd;
        EXPECT_TRUE(PumpUntil([&] { return probe.bHandled; }, 3000));
        EXPECT_TRUE(bVerdictOpen);
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 3000));
        EXPECT_FALSE(::IsWindow(hPopup));
        const ledger::Counts after = ledger::Now();
        EXPECT_TRUE(after == before)
            << ledger::Describe(after) << " vs " << ledger::Describe(before);
        EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(refusing.hWnd) != FALSE; }, 3000));
        ledger::SetQuietWindows({});
        EXPECT_NE(dlg.RunCloak(targets[0]), nullptr);
        EXPECT_TRUE(::IsIconic(targets[0]));
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
    });
    refusing.Close();
    for (HWND h : targets)
        ::DestroyWindow(h);
}

// A window of an elevated program: the system keeps this program's messages
// from it and ignores its requests to hide it. It gets no cloak, no popup is
// ever made for it, and it is minimised through its window-menu command.
TEST_F(CloakRunTest, AnElevatedTargetIsMinimisedThroughItsWindowMenuWithoutACloak) {
    ASSERT_TRUE(standin::InstallSendHooks());
    standin::Scope desktop;
    ThreadTarget elevated;
    elevated.style = WS_POPUP;
    elevated.Open(200, 300, 120, 90, RGB(0, 200, 0));
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        const ledger::Counts before = ledger::Now();
        standin::D().blocked.insert(elevated.hWnd);
        ledger::SetQuietWindows({elevated.hWnd});
        EXPECT_EQ(dlg.RunCloak(elevated.hWnd), nullptr);
        EXPECT_EQ(Dlg::CloakCount(dlg), 0);
        const ledger::Counts after = ledger::Now();
        EXPECT_TRUE(after == before)
            << ledger::Describe(after) << " vs " << ledger::Describe(before);
        EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(elevated.hWnd) != FALSE; }, 3000));
        ledger::SetQuietWindows({});
        standin::D().blocked.clear();
    });
    elevated.Close();
}

// Rounds of ten cloaks: every bitmap, DC, window, class, timer and buffer
// they made is released again. Two rounds show that a full registry comes
// and goes without residue and that a second one starts from the same place;
// TACHY_LONG_TESTS=1 runs the full fifty.
TEST_F(CloakRunTest, FiftyCloaksLeaveNothingBehind) {
    const char* pszLong = std::getenv("TACHY_LONG_TESTS");
    const int nRounds = pszLong && std::strcmp(pszLong, "1") == 0 ? 5 : 2;
    auto targets = MakeTargets(10);
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        const ledger::Counts before = ledger::Now();
        ledger::SetQuietWindows(targets);
        for (int round = 0; round < nRounds; ++round) {
            for (HWND h : targets)
                EXPECT_NE(dlg.RunCloak(h), nullptr);
            const bool bAllDone = PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 30000);
            EXPECT_TRUE(bAllDone) << "round " << round;
            for (int i = 0; !bAllDone && i < Dlg::CloakCount(dlg); ++i)
                std::printf("still running: entry %d step %d timer %p visible %d\n", i,
                            Dlg::Cloaks(dlg)[i].pCloak->m_nStep,
                            (void*)Dlg::Cloaks(dlg)[i].pCloak->m_nTimerId,
                            ::IsWindowVisible(Dlg::Cloaks(dlg)[i].hWnd));
        }
        const ledger::Counts after = ledger::Now();
        EXPECT_TRUE(after == before)
            << ledger::Describe(after) << " vs " << ledger::Describe(before);
    });
    for (HWND h : targets)
        ::DestroyWindow(h);
}

// The dialog closes while cloaks run: its teardown removes them and kills
// their timers, so no popup changes again; the targets stay minimised.
TEST_F(CloakRunTest, ClosingTheDialogStopsEveryCloak) {
    auto targets = MakeTargets(3);
    PumpFor(100);
    std::vector<HWND> popups;
    ledger::Counts before;
    WithDialog(
        [&](CMainDlg& dlg) {
            before = ledger::Now();
            for (HWND h : targets)
                dlg.RunCloak(h);
            popups = Popups(dlg);
            PumpFor(300);
        },
        [&](CMainDlg& dlg) {
            EXPECT_EQ(Dlg::CloakCount(dlg), 0);
            ledger::TakeUpdates();
            PumpFor(300);
            EXPECT_TRUE(ledger::TakeUpdates().empty()) << "no popup changes after the teardown";
            const ledger::Counts after = ledger::Now();
            EXPECT_TRUE(after == before)
                << ledger::Describe(after) << " vs " << ledger::Describe(before);
        });
    for (HWND h : targets)
        EXPECT_TRUE(::IsIconic(h));
    for (HWND h : popups)
        EXPECT_FALSE(::IsWindow(h));
    for (HWND h : targets)
        ::DestroyWindow(h);
}

// What the list sees of a CLOAK press: the state of ENGAGE and REFRESH LIST
// when the loop first asks for the selection and when the closing refresh
// empties the list, and the windows still selected at that refresh.
struct PressLog {
    WNDPROC pfnOld = nullptr;
    CMainDlg* pDlg = nullptr;
    bool bAsked = false;
    BOOL bEnabledWhenAsked[2] = {-1, -1};
    BOOL bEnabledAtRefresh[2] = {-1, -1};
    std::vector<HWND> selectedAtRefresh;
    int nRefreshes = 0;
};
PressLog g_press;

BOOL EngageAndRefreshEnabled(int i) {
    return ::IsWindowEnabled(::GetDlgItem(g_press.pDlg->m_hWnd, i == 0 ? IDC_ENGAGE : IDC_REFRESH));
}

LRESULT CALLBACK PressLogProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == LB_GETSELITEMS && !g_press.bAsked) {
        g_press.bAsked = true;
        for (int i = 0; i < 2; ++i)
            g_press.bEnabledWhenAsked[i] = EngageAndRefreshEnabled(i);
    }
    if (m == LB_RESETCONTENT) {
        ++g_press.nRefreshes;
        for (int i = 0; i < 2; ++i)
            g_press.bEnabledAtRefresh[i] = EngageAndRefreshEnabled(i);
        const int n = (int)::CallWindowProcA(g_press.pfnOld, h, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i)
            if (::CallWindowProcA(g_press.pfnOld, h, LB_GETSEL, i, 0) > 0)
                g_press.selectedAtRefresh.push_back(Dlg::Windows(*g_press.pDlg)[i]);
    }
    return ::CallWindowProcA(g_press.pfnOld, h, m, w, l);
}

// Selects the listed windows given; returns them in list order, the order
// in which a press takes them.
std::vector<HWND> SelectInListOrder(CMainDlg& dlg, const std::vector<HWND>& windows) {
    std::vector<HWND> order;
    for (int i = 0; i < Dlg::WindowCount(dlg); ++i)
        for (HWND h : windows)
            if (Dlg::Windows(dlg)[i] == h) {
                Dlg::List(dlg).SendMessage(LB_SETSEL, TRUE, i);
                order.push_back(h);
            }
    return order;
}

// Presses CLOAK as a click does, with the list watched.
void PressCloak(CMainDlg& dlg) {
    g_press = PressLog();
    g_press.pDlg = &dlg;
    HWND hList = Dlg::List(dlg).m_hWnd;
    g_press.pfnOld = (WNDPROC)::SetWindowLongPtrA(hList, GWLP_WNDPROC, (LONG_PTR)PressLogProc);
    ::SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_CLOAK, BN_CLICKED),
                   (LPARAM)::GetDlgItem(dlg.m_hWnd, IDC_CLOAK));
    ::SetWindowLongPtrA(hList, GWLP_WNDPROC, (LONG_PTR)g_press.pfnOld);
}

// Eight cloaks still running and five windows selected: two more start, the
// third window taken finds the registry full and is dropped, deselected, and
// the last two are still selected when the closing refresh rebuilds the list.
// ENGAGE and REFRESH LIST are greyed for the whole loop, CLOAK is not.
TEST_F(CloakRunTest, APressFillsTheRegistryAndDropsTheWindowThatFindsItFull) {
    auto targets = MakeTargets(13);
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        for (int i = 0; i < 8; ++i)
            ASSERT_NE(dlg.RunCloak(targets[i]), nullptr);
        dlg.RefreshWindowList();
        const std::vector<HWND> chosen =
            SelectInListOrder(dlg, std::vector<HWND>(targets.begin() + 8, targets.end()));
        ASSERT_EQ(chosen.size(), 5u);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_ENGAGE)));
        PressCloak(dlg);

        for (int i = 0; i < 2; ++i) {
            EXPECT_FALSE(g_press.bEnabledWhenAsked[i]) << (i ? "REFRESH LIST" : "ENGAGE");
            EXPECT_FALSE(g_press.bEnabledAtRefresh[i]) << (i ? "REFRESH LIST" : "ENGAGE");
        }
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_ENGAGE)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_REFRESH)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dlg.m_hWnd, IDC_CLOAK)));
        EXPECT_EQ(g_press.nRefreshes, 1);
        EXPECT_EQ(g_press.selectedAtRefresh, (std::vector<HWND>{chosen[3], chosen[4]}));
        EXPECT_TRUE(::IsIconic(chosen[0]));
        EXPECT_TRUE(::IsIconic(chosen[1]));
        for (int i = 2; i < 5; ++i)
            EXPECT_FALSE(::IsIconic(chosen[i])) << i;
        ASSERT_EQ(Dlg::CloakCount(dlg), 10);
        EXPECT_EQ(Dlg::Cloaks(dlg)[8].pCloak->m_hTarget, chosen[0]);
        EXPECT_EQ(Dlg::Cloaks(dlg)[9].pCloak->m_hTarget, chosen[1]);
    });
    for (HWND h : targets)
        ::DestroyWindow(h);
}

TEST_F(CloakRunTest, TheStripFillsInDarkYellowFromTheLeft) {
    WithDialog([&](CMainDlg& dlg) {
        HWND hStrip = ::GetDlgItem(dlg.m_hWnd, IDC_PROGRESS_STRIP);
        ASSERT_NE(hStrip, nullptr);
        ::ShowWindow(hStrip, SW_SHOW);
        ::SetWindowPos(dlg.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        PumpFor(100);
        RECT rc;
        ::GetClientRect(hStrip, &rc);
        for (int done : {1, 7, 15}) {
            dlg.DrawCloakProgress(done, 15);
            const int split = rc.right * done / 15;
            HDC hdc = ::GetDC(hStrip);
            EXPECT_EQ(::GetPixel(hdc, 0, 1), RGB(160, 160, 0));
            EXPECT_EQ(::GetPixel(hdc, split - 1, 1), RGB(160, 160, 0)) << done;
            if (split < rc.right) {
                EXPECT_EQ(::GetPixel(hdc, split, 1), RGB(0, 0, 0)) << done;
            }
            ::ReleaseDC(hStrip, hdc);
        }
        dlg.DrawCloakProgress(0, 1);
        HDC hdc = ::GetDC(hStrip);
        EXPECT_EQ(::GetPixel(hdc, 0, 1), RGB(0, 0, 0));
        ::ReleaseDC(hStrip, hdc);
    });
}

} // namespace

// ---------------------------------------------------------------------------
// One command at a time. Whenever the dialog's thread waits in a way that
// answers messages sent by other threads (a wait on an object or a time, a
// send to another thread's window), every command another program could send
// is put to it there, as a send would deliver it: each must wait for the
// command under way and then be carried out, never nested and never lost.
// The calls are watched through the test program's import table, so a wait
// added anywhere later is met too.

namespace {

struct Command {
    const char* pszName;
    UINT nMessage;
    WPARAM wParam;
    LPARAM lParam;
    int nTo;          // 0: the dialog, else its control with this identifier
    bool bOpensALoop; // the About box or a menu
};

const Command kCommands[] = {
    {"ENGAGE", WM_COMMAND, MAKEWPARAM(IDC_ENGAGE, BN_CLICKED), 0, 0, false},
    {"CLOAK", WM_COMMAND, MAKEWPARAM(IDC_CLOAK, BN_CLICKED), 0, 0, false},
    {"REFRESH LIST", WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0, 0, false},
    {"double-click", WM_COMMAND, MAKEWPARAM(IDC_WINDOW_LIST, LBN_DBLCLK), 0, 0, false},
    {"CLOSE", WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0, 0, false},
    {"ABOUT", WM_COMMAND, MAKEWPARAM(IDC_ABOUT, BN_CLICKED), 0, 0, false},
    {"menu Close", WM_COMMAND, ID_TRAY_CLOSE, 0, 0, false},
    {"menu About", WM_COMMAND, ID_TRAY_ABOUT, 0, 0, false},
    {"Escape", WM_COMMAND, IDCANCEL, 0, 0, false},
    {"system menu About", WM_SYSCOMMAND, IDM_ABOUTBOX, 0, 0, true},
    {"system Close", WM_SYSCOMMAND, SC_CLOSE, 0, 0, false},
    {"WM_CLOSE", WM_CLOSE, 0, 0, 0, false},
    {"tray right click", UM_TRAY_NOTIFY, 1, WM_RBUTTONUP, 0, true},
    {"context menu", WM_CONTEXTMENU, 0, MAKELPARAM(60, 60), 0, true},
    {"BM_CLICK on CLOAK", BM_CLICK, 0, 0, IDC_CLOAK, false},
};

struct Injector {
    CMainDlg* pDlg = nullptr;
    DWORD dwThread = 0;
    bool bArmed = false;
    bool bInjecting = false;
    std::vector<ULONG> paths; // the ways to a wait met so far, by their call stacks
    int nNestedLoops = 0;     // a box or menu opened inside a command
    decltype(&::MsgWaitForMultipleObjects) pfnMsgWait = nullptr;
    decltype(&::MsgWaitForMultipleObjectsEx) pfnMsgWaitEx = nullptr;
    decltype(&::SendMessageTimeoutA) pfnSendTimeout = nullptr;
    decltype(&::SendMessageA) pfnSend = nullptr;
};
Injector g_inject;

// A nested box or menu would keep the test waiting: it is ended and counted.
void CALLBACK EndNestedLoop(HWND, UINT, UINT_PTR, DWORD) {
    ++g_inject.nNestedLoops;
    if (CDialog* pBox = Dlg::AboutBox(*g_inject.pDlg))
        pBox->EndDialog(IDCANCEL);
    ::EndMenu();
}

void InjectEveryCommand() {
    const HWND hDlg = g_inject.pDlg->m_hWnd;
    for (const Command& c : kCommands) {
        const UINT_PTR idRescue = c.bOpensALoop ? ::SetTimer(nullptr, 0, 200, EndNestedLoop) : 0;
        const HWND hTo = c.nTo ? ::GetDlgItem(hDlg, c.nTo) : hDlg;
        const WPARAM w = c.nMessage == WM_CONTEXTMENU ? (WPARAM)hDlg : c.wParam;
        g_inject.pfnSend(hTo, c.nMessage, w, c.lParam);
        if (idRescue)
            ::KillTimer(nullptr, idRescue);
    }
}

// Every command, once on each way the program comes to such a wait.
void AtAWait() {
    if (!g_inject.bArmed || g_inject.bInjecting || ::GetCurrentThreadId() != g_inject.dwThread)
        return;
    void* frames[16];
    ULONG nHash = 0;
    ::RtlCaptureStackBackTrace(2, 16, frames, &nHash);
    if (g_inject.paths.size() >= 64 ||
        std::find(g_inject.paths.begin(), g_inject.paths.end(), nHash) != g_inject.paths.end())
        return;
    g_inject.paths.push_back(nHash);
    g_inject.bInjecting = true;
    InjectEveryCommand();
    g_inject.bInjecting = false;
}

bool OfAnotherThread(HWND hWnd) {
    return ::GetWindowThreadProcessId(hWnd, nullptr) != ::GetCurrentThreadId();
}

DWORD WINAPI HookMsgWait(DWORD n, const HANDLE* ph, BOOL bAll, DWORD dwMs, DWORD dwMask) {
    if (dwMask & QS_SENDMESSAGE)
        AtAWait();
    return g_inject.pfnMsgWait(n, ph, bAll, dwMs, dwMask);
}

DWORD WINAPI HookMsgWaitEx(DWORD n, const HANDLE* ph, DWORD dwMs, DWORD dwMask, DWORD dwFlags) {
    if (dwMask & QS_SENDMESSAGE)
        AtAWait();
    return g_inject.pfnMsgWaitEx(n, ph, dwMs, dwMask, dwFlags);
}

LRESULT WINAPI HookSendTimeout(HWND h, UINT m, WPARAM w, LPARAM l, UINT f, UINT ms, PDWORD_PTR pr) {
    if (OfAnotherThread(h))
        AtAWait();
    return g_inject.pfnSendTimeout(h, m, w, l, f, ms, pr);
}

LRESULT WINAPI HookSend(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (OfAnotherThread(h))
        AtAWait();
    return g_inject.pfnSend(h, m, w, l);
}

bool InstallInjector() {
    static const bool ok =
        ledger::Patch("user32.dll", "MsgWaitForMultipleObjects", (void*)&HookMsgWait,
                      (void**)&g_inject.pfnMsgWait) &&
        ledger::Patch("user32.dll", "MsgWaitForMultipleObjectsEx", (void*)&HookMsgWaitEx,
                      (void**)&g_inject.pfnMsgWaitEx) &&
        ledger::Patch("user32.dll", "SendMessageTimeoutA", (void*)&HookSendTimeout,
                      (void**)&g_inject.pfnSendTimeout) &&
        ledger::Patch("user32.dll", "SendMessageA", (void*)&HookSend, (void**)&g_inject.pfnSend);
    return ok;
}

// Runs one command of the dialog with every wait injected; returns how many
// ways to a wait it met.
size_t RunInjected(CMainDlg& dlg, const std::function<void()>& command) {
    g_inject.pDlg = &dlg;
    g_inject.dwThread = ::GetCurrentThreadId();
    g_inject.paths.clear();
    g_inject.nNestedLoops = 0;
    g_inject.bArmed = true;
    command();
    g_inject.bArmed = false;
    return g_inject.paths.size();
}

std::string Describe(UINT nMessage, WPARAM wParam) {
    for (const Command& c : kCommands)
        if (c.nMessage == nMessage && (c.wParam == wParam || nMessage == WM_CONTEXTMENU))
            return c.pszName;
    if (nMessage == WM_COMMAND && wParam == MAKEWPARAM(IDC_CLOAK, BN_CLICKED))
        return "CLOAK";
    return "";
}

// The commands waiting in the dialog's queue, by name and in order; they are
// taken out (what else is queued stays).
std::vector<std::string> TakeWaitingCommands(HWND hDlg) {
    std::vector<std::string> names;
    std::vector<MSG> others;
    MSG msg;
    // A look at the queue that delivers a message sent by another thread
    // (the worker's) may find nothing although something is queued: only a
    // few empty looks in a row end it.
    for (int nEmpty = 0; nEmpty < 5;) {
        if (!::PeekMessageA(&msg, hDlg, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
            ++nEmpty;
            ::Sleep(5);
            continue;
        }
        nEmpty = 0;
        const std::string name = Describe(msg.message, msg.wParam);
        if (!name.empty())
            names.push_back(name);
        else
            others.push_back(msg);
    }
    for (const MSG& m : others)
        ::PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
    return names;
}

// What the queue must hold after nRounds injections: each command once a
// round, in the order sent (BM_CLICK arrives as the click it makes).
std::vector<std::string> Expected(size_t nRounds) {
    std::vector<std::string> names;
    for (size_t i = 0; i < nRounds; ++i)
        for (const Command& c : kCommands)
            names.push_back(c.nMessage == BM_CLICK ? "CLOAK" : c.pszName);
    return names;
}

void PressButton(CMainDlg& dlg, int nId) {
    ::SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                   (LPARAM)::GetDlgItem(dlg.m_hWnd, nId));
}

} // namespace

TEST_F(CloakRunTest, EveryCommandSentWhileACommandWaitsIsCarriedOutAfterIt) {
    ASSERT_TRUE(InstallInjector());
    ThreadTarget target; // of another thread: the dialog waits for its answers
    target.style = WS_POPUP;
    target.Open(200, 300, 120, 90, RGB(0, 160, 80));
    PumpFor(100);
    WithDialog([&](CMainDlg& dlg) {
        // CLOAK of a window of another thread.
        dlg.RefreshWindowList();
        ASSERT_EQ(SelectInListOrder(dlg, {target.hWnd}).size(), 1u);
        const size_t nCloakWaits = RunInjected(dlg, [&] { PressButton(dlg, IDC_CLOAK); });
        std::printf("CLOAK met %d ways to a wait\n", (int)nCloakWaits);
        // The pings before the capture (the hide itself is watched on the
        // cloak's timer, outside the command).
        EXPECT_GE(nCloakWaits, 1u);
        EXPECT_EQ(g_inject.nNestedLoops, 0) << "a box or menu opened inside CLOAK";
        EXPECT_EQ(TakeWaitingCommands(dlg.m_hWnd), Expected(nCloakWaits));
        EXPECT_EQ(Dlg::CloakCount(dlg), 1);
        EXPECT_TRUE(::IsIconic(target.hWnd)) << "CLOAK was carried out undisturbed";
        EXPECT_EQ(Dlg::Worker(dlg), nullptr) << "no ENGAGE ran inside it";

        // ENGAGE's restart, which stops the worker of the run before: a coil
        // that never reports keeps that worker running until then.
        Dlg::Coils(dlg)[0] = {nullptr, (HWND)0x1000};
        Dlg::CoilCount(dlg) = 1;
        PressButton(dlg, IDC_ENGAGE);
        ASSERT_NE(Dlg::Worker(dlg), nullptr);
        const size_t nEngageWaits = RunInjected(dlg, [&] { PressButton(dlg, IDC_ENGAGE); });
        std::printf("ENGAGE met %d ways to a wait\n", (int)nEngageWaits);
        EXPECT_GE(nEngageWaits, 1u);
        EXPECT_EQ(g_inject.nNestedLoops, 0) << "a box or menu opened inside ENGAGE";
        EXPECT_EQ(TakeWaitingCommands(dlg.m_hWnd), Expected(nEngageWaits));
        EXPECT_NE(Dlg::Worker(dlg), nullptr);
        EXPECT_EQ(::WaitForSingleObject(Dlg::Worker(dlg), 0), (DWORD)WAIT_TIMEOUT)
            << "the restart's worker runs";
        Dlg::CoilCount(dlg) = 0;
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
    });
    target.Close();
}

// Nine stand-in cloaks that never report: the table has one slot left.
void FillAllButTheLastSlot(CMainDlg& dlg) {
    for (int i = 0; i < MAX_EFFECTS - 1; ++i)
        Dlg::Cloaks(dlg)[i] = {nullptr, (HWND)(INT_PTR)(0x1000 + i)};
    Dlg::CloakCount(dlg) = MAX_EFFECTS - 1;
}

// A window of another thread that sends the dialog CLOAK when first pinged.
void OpenCloakingWhenPinged(ThreadTarget& target) {
    target.style = WS_POPUP;
    target.nPingMessage = WM_COMMAND;
    target.wPingParam = MAKEWPARAM(IDC_CLOAK, BN_CLICKED);
    target.Open(200, 300, 120, 90, RGB(0, 80, 200));
}

// A dialog in memory of its own, with a marked stretch right behind it, so
// that a write past its cloak table shows.
class GuardedDialog {
  public:
    GuardedDialog()
        : m_pMemory(static_cast<unsigned char*>(std::malloc(sizeof(CMainDlg) + kGuard))) {
        if (!m_pMemory)
            return;
        std::memset(m_pMemory + sizeof(CMainDlg), kMark, kGuard);
        m_pDlg = new (m_pMemory) CMainDlg;
    }
    ~GuardedDialog() {
        if (m_pDlg)
            m_pDlg->~CMainDlg();
        std::free(m_pMemory);
    }
    CMainDlg* Get() const { return m_pDlg; }
    bool Intact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (m_pMemory[sizeof(CMainDlg) + i] != kMark)
                return false;
        return true;
    }
    // Runs the dialog with g_scenario and ends it; whether the mark survived.
    bool RunAndEnd() {
        g_pDlg = m_pDlg;
        ::SetTimer(nullptr, 0, 100, RunScenario);
        m_pDlg->RunModal();
        g_pDlg = nullptr;
        m_pDlg->~CMainDlg();
        m_pDlg = nullptr;
        return Intact();
    }

  private:
    static const size_t kGuard = 64;
    static const unsigned char kMark = 0xA5;
    unsigned char* m_pMemory;
    CMainDlg* m_pDlg = nullptr;
};

// Nine cloaks running; two windows selected, the first of which, when the
// dialog asks it whether it answers, sends the dialog CLOAK. That CLOAK waits
// until the first is over: the first window takes the tenth and last slot,
// the second finds the registry full, and nothing is written past the table.
// Once a slot is free again the waiting CLOAK is carried out.
TEST_F(CloakRunTest, CloakSentByATargetWhenPingedWaitsAndTheTableHoldsTen) {
    ThreadTarget second;
    second.style = WS_POPUP;
    second.Open(60, 300, 120, 90, RGB(200, 200, 0));
    ThreadTarget first; // opened last, listed first
    OpenCloakingWhenPinged(first);
    PumpFor(100);
    GuardedDialog guarded;
    ASSERT_NE(guarded.Get(), nullptr);
    g_scenario = [&](CMainDlg& dlg) {
        FillAllButTheLastSlot(dlg);
        first.hPingTo = dlg.m_hWnd;
        dlg.RefreshWindowList();
        ASSERT_EQ(SelectInListOrder(dlg, {first.hWnd, second.hWnd}),
                  (std::vector<HWND>{first.hWnd, second.hWnd}));
        PressButton(dlg, IDC_CLOAK);
        EXPECT_EQ(first.nPingMessage, 0u) << "the first window was pinged";
        EXPECT_EQ(Dlg::CloakCount(dlg), MAX_EFFECTS);
        EXPECT_TRUE(guarded.Intact()) << "written past the cloak table";
        if (Dlg::CloakCount(dlg) > MAX_EFFECTS) { // leave a teardown that can run
            delete Dlg::Cloaks(dlg)[MAX_EFFECTS].pCloak;
            ::DestroyWindow(Dlg::Cloaks(dlg)[MAX_EFFECTS].hWnd);
            Dlg::CloakCount(dlg) = MAX_EFFECTS;
        }
        EXPECT_EQ(Dlg::Cloaks(dlg)[MAX_EFFECTS - 1].pCloak->m_hTarget, first.hWnd);
        EXPECT_TRUE(::IsIconic(first.hWnd));
        EXPECT_FALSE(::IsIconic(second.hWnd)) << "dropped: the registry was full";
        // The CLOAK the first window sent is still to come: with a slot free
        // and the second window selected again, it cloaks that.
        dlg.OnCloakDone((HWND)0x1000);
        ASSERT_EQ(SelectInListOrder(dlg, {second.hWnd}).size(), 1u);
        MSG msg;
        EXPECT_TRUE(::PeekMessageA(&msg, dlg.m_hWnd, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
        EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(second.hWnd) != FALSE; }, 5000))
            << "the CLOAK sent by the first window was lost";
        EXPECT_EQ(Dlg::CloakCount(dlg), MAX_EFFECTS);
        for (int i = 0; i < MAX_EFFECTS - 2; ++i) // the stand-ins, which never report
            dlg.OnCloakDone((HWND)(INT_PTR)(0x1001 + i));
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
    };
    EXPECT_TRUE(guarded.RunAndEnd()) << "written past the dialog";
    first.Close();
    second.Close();
}

// The table's limit holds also where the slot is written: a cloak run from
// outside any command (so nothing makes the CLOAK that its target sends wait)
// finds, once its preparation is over, that the CLOAK run meanwhile took the
// last slot, and gives its own cloak up instead of writing past the table.
TEST_F(CloakRunTest, TheLastSlotTakenDuringAPreparationIsNotWrittenTwice) {
    ThreadTarget other;
    other.style = WS_POPUP;
    other.Open(60, 300, 120, 90, RGB(200, 200, 0));
    ThreadTarget pinging;
    OpenCloakingWhenPinged(pinging);
    PumpFor(100);
    GuardedDialog guarded;
    ASSERT_NE(guarded.Get(), nullptr);
    g_scenario = [&](CMainDlg& dlg) {
        FillAllButTheLastSlot(dlg);
        pinging.hPingTo = dlg.m_hWnd;
        dlg.RefreshWindowList();
        ASSERT_EQ(SelectInListOrder(dlg, {other.hWnd}).size(), 1u);
        EXPECT_EQ(dlg.RunCloak(pinging.hWnd), nullptr);
        EXPECT_EQ(pinging.nPingMessage, 0u) << "the window was pinged";
        EXPECT_EQ(Dlg::CloakCount(dlg), MAX_EFFECTS);
        EXPECT_TRUE(guarded.Intact()) << "written past the cloak table";
        if (Dlg::CloakCount(dlg) > MAX_EFFECTS) { // leave a teardown that can run
            delete Dlg::Cloaks(dlg)[MAX_EFFECTS].pCloak;
            ::DestroyWindow(Dlg::Cloaks(dlg)[MAX_EFFECTS].hWnd);
            Dlg::CloakCount(dlg) = MAX_EFFECTS;
        }
        EXPECT_EQ(Dlg::Cloaks(dlg)[MAX_EFFECTS - 1].pCloak->m_hTarget, other.hWnd);
        for (int i = 0; i < MAX_EFFECTS - 1; ++i) // the stand-ins, which never report
            dlg.OnCloakDone((HWND)(INT_PTR)(0x1000 + i));
        EXPECT_TRUE(PumpUntil([&] { return Dlg::CloakCount(dlg) == 0; }, 4000));
    };
    EXPECT_TRUE(guarded.RunAndEnd()) << "written past the dialog";
    pinging.Close();
    other.Close();
}
