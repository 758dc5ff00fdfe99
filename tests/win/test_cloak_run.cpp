// The cloak registry and progress strip, driven inside a real main dialog:
// a thread timer of the dialog's own modal loop runs the scenario.
#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"
#include "effects/CloakWindow.h"

#include "CloakTestSupport.h"
#include "DesktopStandIn.h"
#include "HandleLedger.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
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
