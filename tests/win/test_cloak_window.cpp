// The cloak window on real targets, with real timers.
#include "effects/CloakWindow.h"
#include "effects/Capture.h"

#include "CloakTestSupport.h"
#include "HandleLedger.h"
#include "LowMemoryTaken.h"
#include "app/Messages.h"
#include "effects/Capture.h"
#include "effects/CloakMasks.h"
#include "effects/MaskLoad.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace cloaktest;

namespace {

std::vector<HWND> g_done; // UM_CLOAK_DONE lParams the owner received

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == UM_CLOAK_DONE)
        g_done.push_back((HWND)l);
    return ::DefWindowProcA(h, m, w, l);
}

struct Progress {
    std::vector<std::pair<int, int>> calls;
    static void Fn(int done, int total, void* p) {
        static_cast<Progress*>(p)->calls.push_back({done, total});
    }
};

DIBSECTION Bits(HBITMAP hBitmap) {
    DIBSECTION ds = {};
    ::GetObjectA(hBitmap, sizeof ds, &ds);
    return ds;
}

class CloakWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ledger::Install());
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "cloak test owner";
        ::RegisterClassA(&wc);
        m_hOwner = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     wc.hInstance, nullptr);
        g_done.clear();
        m_before = ledger::Now();
    }
    void TearDown() override {
        ::DestroyWindow(m_hOwner);
        PumpFor(20);
    }
    void ExpectNothingLeft() {
        const ledger::Counts now = ledger::Now();
        EXPECT_TRUE(now == m_before)
            << ledger::Describe(now) << " vs " << ledger::Describe(m_before);
    }
    // Cloaks a target of another thread: the cloak is made, the target ends
    // minimised, and the fade reports its end.
    void CloakToTheEnd(HWND hTarget) {
        auto* pCloak = new CloakWindow;
        EXPECT_TRUE(pCloak->Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
        if (pCloak->m_hWnd) {
            pCloak->Start();
            // The target's thread is asked, not waited for: it is minimised
            // once it has handled that.
            EXPECT_TRUE(PumpUntil([hTarget] { return ::IsIconic(hTarget) != FALSE; }, 2000));
            EXPECT_TRUE(PumpUntil([] { return !g_done.empty(); }, 5000));
            ::DestroyWindow(pCloak->m_hWnd);
        }
        delete pCloak;
    }
    HINSTANCE Inst() { return ::GetModuleHandleA(nullptr); }
    HWND m_hOwner = nullptr;
    ledger::Counts m_before;
};

TEST_F(CloakWindowTest, CreatesThePopupOverTheTargetAndFadesThroughTheFrames) {
    HWND hTarget = MakeTarget(60, 50, 320, 240, RGB(255, 0, 0));
    PumpFor(100);
    RECT rcTarget;
    ::GetWindowRect(hTarget, &rcTarget);
    ledger::Counts before = ledger::Now();

    auto* pCloak = new CloakWindow;
    EXPECT_EQ(std::strncmp(pCloak->m_szClassName, "cloaking window class", 21), 0);
    EXPECT_EQ(std::strlen(pCloak->m_szClassName), 21u + 8u);
    Progress progress;
    ledger::TakeDebugLines();
    ASSERT_TRUE(pCloak->Create(Inst(), m_hOwner, hTarget, Progress::Fn, &progress));
    // The timing trace: one line for the one mask scaled in advance (the
    // first frame's), numbered 0.
    const std::vector<std::string> trace = ledger::TakeDebugLines();
    ASSERT_EQ(trace.size(), 1u);
    int n = -1, ms = -1;
    ASSERT_EQ(std::sscanf(trace[0].c_str(), "%d : %d\n", &n, &ms), 2) << trace[0];
    EXPECT_EQ(n, 0);
    EXPECT_GE(ms, 0);
    ASSERT_EQ(progress.calls.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(progress.calls[i], std::make_pair(i, 15));

    HWND hPopup = pCloak->m_hWnd;
    ASSERT_TRUE(::IsWindow(hPopup));
    char text[64] = {};
    ::GetWindowTextA(hPopup, text, sizeof text);
    EXPECT_STREQ(text, "cloaking!");
    char cls[128] = {};
    ::GetClassNameA(hPopup, cls, sizeof cls);
    EXPECT_STREQ(cls, pCloak->m_szClassName);
    EXPECT_EQ((DWORD)::GetWindowLongPtrA(hPopup, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_TOPMOST),
              (DWORD)(WS_EX_LAYERED | WS_EX_TOPMOST));
    EXPECT_FALSE(::IsWindowVisible(hPopup));
    RECT rcPopup;
    ::GetWindowRect(hPopup, &rcPopup);
    EXPECT_TRUE(::EqualRect(&rcPopup, &rcTarget));
    EXPECT_EQ(::GetObjectType(pCloak->m_hFrame), (DWORD)OBJ_BITMAP);
    ASSERT_NE(pCloak->m_pMasks, nullptr);
    // The capture is the red target: its centre pixel is pure red.
    DIBSECTION ds = {};
    ASSERT_EQ(::GetObjectA(pCloak->m_hCaptured, sizeof ds, &ds), (int)sizeof ds);
    EXPECT_EQ(ds.dsBmih.biBitCount, 24);
    const uint8_t* mid = static_cast<const uint8_t*>(ds.dsBm.bmBits) +
                         (ds.dsBmih.biHeight / 2) * ds.dsBm.bmWidthBytes +
                         ds.dsBmih.biWidth / 2 * 3;
    EXPECT_EQ(mid[0] | (mid[1] << 8) | (mid[2] << 16), 0xFF0000)
        << "blue, green, red of the centre";

    ledger::TakeUpdates();
    pCloak->Start();
    EXPECT_TRUE(::IsWindowVisible(hPopup));
    // Hidden, then minimised (which by itself makes a window visible again).
    EXPECT_TRUE(::IsIconic(hTarget));
    const int killsBefore = ledger::KillTimerCalls();
    ASSERT_TRUE(PumpUntil([] { return !g_done.empty(); }, 5000));
    EXPECT_EQ(g_done, std::vector<HWND>{hPopup});
    EXPECT_EQ(pCloak->m_nTimerId, 0u);

    // 30 drawn steps: the listed opacities and frames 2..14, 0..14, 0, 1.
    const int opacities[30] = {255, 254, 253, 252, 250, 247, 244, 241, 236, 232,
                               226, 220, 214, 207, 199, 191, 182, 173, 163, 152,
                               141, 130, 117, 105, 91,  77,  63,  48,  32,  16};
    std::vector<ledger::LayeredUpdate> updates;
    for (const auto& u : ledger::TakeUpdates())
        if (u.hWnd == hPopup)
            updates.push_back(u);
    ASSERT_EQ(updates.size(), 30u);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(updates[i].nAlpha, opacities[i]) << "step " << i;
        EXPECT_EQ(updates[i].dwFlags, (DWORD)ULW_ALPHA);
        EXPECT_EQ(updates[i].hBitmap, pCloak->m_hFrame) << "step " << i;
    }
    DWORD worst = 0;
    for (int i = 1; i < 30; ++i)
        worst = std::max(worst, updates[i].dwTick - updates[i - 1].dwTick);
    std::printf(
        "cadence: 30 steps over %lu ms (nominal 1450 from first to last), worst gap %lu ms\n",
        updates[29].dwTick - updates[0].dwTick, worst);

    // The owner's teardown: the timer is already gone and is not killed again.
    HBITMAP hFrame = pCloak->m_hFrame;
    EXPECT_EQ(ledger::KillTimerCalls(), killsBefore + 1);
    ::DestroyWindow(hPopup);
    delete pCloak;
    EXPECT_EQ(ledger::KillTimerCalls(), killsBefore + 1);
    EXPECT_EQ(::GetObjectType(hFrame), 0u);
    const ledger::Counts after = ledger::Now();
    EXPECT_TRUE(after == before) << ledger::Describe(after) << " vs " << ledger::Describe(before);
    ::DestroyWindow(hTarget);
}

// Until its first tick the popup shows the captured picture itself, opaque
// (no blend function, no flags), so hiding the target changes nothing on the
// screen; the fade then steps on a 50 ms timer named by the instance.
TEST_F(CloakWindowTest, StartsOpaqueWithTheCaptureAndTicksEvery50Ms) {
    HWND hTarget = MakeTarget(40, 60, 200, 140, RGB(0, 160, 80));
    PumpFor(50);
    ledger::TakeUpdates();
    auto* pCloak = new CloakWindow;
    ASSERT_TRUE(pCloak->Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
    HWND hPopup = pCloak->m_hWnd;
    const auto created = ledger::TakeUpdates();
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].hWnd, hPopup);
    EXPECT_EQ(created[0].hBitmap, pCloak->m_hCaptured);
    EXPECT_EQ(created[0].nAlpha, -1) << "no blend function";
    EXPECT_EQ(created[0].dwFlags, 0u);
    EXPECT_EQ(ledger::TimerInterval(hPopup, (UINT_PTR)pCloak), -1) << "no timer before Start";

    pCloak->Start();
    EXPECT_TRUE(ledger::TakeUpdates().empty()) << "Start itself draws nothing";
    EXPECT_EQ(pCloak->m_nTimerId, (UINT_PTR)pCloak);
    EXPECT_EQ(ledger::TimerInterval(hPopup, (UINT_PTR)pCloak), 50);
    ASSERT_TRUE(PumpUntil([] { return !g_done.empty(); }, 5000));
    EXPECT_EQ(ledger::TimerInterval(hPopup, (UINT_PTR)pCloak), -1) << "killed at the end";
    ::DestroyWindow(hPopup);
    delete pCloak;
    ::DestroyWindow(hTarget);
}

// The 15 frames as they are made in one go from a cloak's capture: each
// mask scaled and composed with ComposeMaskedFrame.
std::vector<std::vector<BYTE>> FramesMadeInOneGo(const CloakWindow& cloak) {
    std::vector<std::vector<BYTE>> frames;
    for (int i = 0; i < 15; ++i) {
        HBITMAP hMask = LoadCloakMask(::GetModuleHandleA(nullptr), IDB_CLOAK_MASK_FIRST + i,
                                      cloak.m_size.cx, cloak.m_size.cy);
        HBITMAP hFrame = hMask ? ComposeMaskedFrame(cloak.m_hCaptured, hMask) : nullptr;
        DIBSECTION ds = {};
        if (hFrame && ::GetObjectA(hFrame, sizeof ds, &ds) == sizeof ds) {
            const BYTE* p = static_cast<const BYTE*>(ds.dsBm.bmBits);
            frames.emplace_back(p, p + size_t(ds.dsBm.bmWidthBytes) * ds.dsBm.bmHeight);
        }
        if (hFrame)
            ::DeleteObject(hFrame);
        if (hMask)
            ::DeleteObject(hMask);
    }
    return frames;
}

// Each step composes its frame into the one section the cloak holds, from
// its mask scaled when first shown. Every frame shown, at every step, is
// byte for byte the frame made in one go from the same capture and mask, in
// the order 2, 3, ..., 14, 0, ...: for two cloaks of one size (odd width,
// different pictures) and one of another, while the first of the pair ends
// in the middle of the fade and its partner goes on. Once with the masks
// kept and shared by the pair, once with each cloak rescaling its one mask
// every step.
TEST_F(CloakWindowTest, EveryShownFrameIsTheFrameMadeInOneGo) {
    struct Target {
        int w, h;
        COLORREF colour;
    } const specs[3] = {{321, 203, RGB(250, 120, 10)},
                        {321, 203, RGB(20, 200, 255)},
                        {150, 97, RGB(255, 255, 255)}};
    std::vector<HWND> targets;
    for (const Target& t : specs)
        targets.push_back(MakeTarget(30, 40, t.w, t.h, t.colour, "target", WS_POPUP));
    PumpFor(100);
    const ledger::Counts before = ledger::Now();
    ledger::SetQuietWindows(targets);
    for (const bool bKept : {true, false}) {
        const unsigned long long nLimit = CloakMasks::KeptSetLimit(bKept ? 64ull << 20 : 0);
        CloakWindow* cloaks[3] = {};
        std::vector<std::vector<BYTE>> expected[3];
        for (int i = 0; i < 3; ++i) {
            cloaks[i] = new CloakWindow;
            ASSERT_TRUE(cloaks[i]->Create(Inst(), m_hOwner, targets[i], nullptr, nullptr));
            expected[i] = FramesMadeInOneGo(*cloaks[i]);
            ASSERT_EQ(expected[i].size(), 15u);
        }
        EXPECT_EQ(cloaks[0]->m_pMasks == cloaks[1]->m_pMasks, bKept);
        EXPECT_NE(cloaks[0]->m_pMasks, cloaks[2]->m_pMasks);
        HWND popups[3] = {cloaks[0]->m_hWnd, cloaks[1]->m_hWnd, cloaks[2]->m_hWnd};

        ledger::TakeUpdates();
        ledger::KeepShownPixels(true);
        g_done.clear();
        for (CloakWindow* pCloak : cloaks)
            pCloak->Start();
        // The first of the pair ends after 12 steps of its own. Looked at
        // after every message: where steps outlast the timer's period (under
        // emulation) the queue never runs dry, and a pump that looks only
        // then would play the whole fade first.
        const DWORD dwStart = ::GetTickCount();
        while (cloaks[0]->m_nStep < 12 && ::GetTickCount() - dwStart < 3000) {
            MSG msg;
            if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            else
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        const int nFirstSteps = cloaks[0]->m_nStep;
        ASSERT_GE(nFirstSteps, 12);
        ASSERT_LT(nFirstSteps, 30);
        ::DestroyWindow(popups[0]);
        delete cloaks[0];
        cloaks[0] = nullptr;
        ASSERT_TRUE(PumpUntil([] { return g_done.size() == 2; }, 5000));
        ledger::KeepShownPixels(false);

        std::vector<ledger::LayeredUpdate> updates = ledger::TakeUpdates();
        for (int i = 0; i < 3; ++i) {
            int nStep = 0;
            for (const ledger::LayeredUpdate& u : updates) {
                if (u.hWnd != popups[i])
                    continue;
                const int nFrame = (nStep + 2) % 15;
                if (i > 0) {
                    EXPECT_EQ(u.hBitmap, cloaks[i]->m_hFrame) << "cloak " << i << " step " << nStep;
                }
                EXPECT_TRUE(u.pixels == expected[i][nFrame])
                    << (bKept ? "kept" : "rescaled") << " cloak " << i << " step " << nStep
                    << " frame " << nFrame;
                ++nStep;
            }
            EXPECT_EQ(nStep, i == 0 ? nFirstSteps : 30) << "cloak " << i;
        }
        for (int i = 1; i < 3; ++i) {
            ::DestroyWindow(popups[i]);
            delete cloaks[i];
        }
        CloakMasks::KeptSetLimit(nLimit);
    }
    ledger::SetQuietWindows({});
    const ledger::Counts after = ledger::Now();
    EXPECT_TRUE(after == before) << ledger::Describe(after) << " vs " << ledger::Describe(before);
    for (HWND hTarget : targets)
        ::DestroyWindow(hTarget);
}

TEST_F(CloakWindowTest, ASecondInstanceOfTheSameTickFailsAtItsClass) {
    HWND hTarget = MakeTarget(30, 30, 200, 150, RGB(0, 0, 255));
    PumpFor(50);
    CloakWindow first, second;
    // Two instances made within one tick count carry the same name.
    std::strcpy(second.m_szClassName, first.m_szClassName);
    ASSERT_TRUE(first.Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
    EXPECT_FALSE(second.Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
    EXPECT_EQ(second.m_hWnd, nullptr);
    EXPECT_FALSE(second.m_bClassRegistered);
    EXPECT_TRUE(::IsWindowVisible(hTarget)) << "a failed cloak leaves the target alone";
    EXPECT_FALSE(::IsIconic(hTarget));
    ::DestroyWindow(first.m_hWnd);
    ::DestroyWindow(hTarget);
}

// A mask that cannot be found, or a first mask that cannot be scaled (the
// 16th look-up), gives the cloak up: no popup, no class, no frames, and the
// target as it was.
TEST_F(CloakWindowTest, AMissingMaskGivesTheCloakUpCleanly) {
    HWND hTarget = MakeTarget(30, 30, 200, 150, RGB(0, 255, 0));
    PumpFor(50);
    const ledger::Counts before = ledger::Now();
    for (int okLoads : {0, 7, 14, 15}) {
        auto* pCloak = new CloakWindow;
        Progress progress;
        ledger::FailLoadsAfter(okLoads);
        EXPECT_FALSE(pCloak->Create(Inst(), m_hOwner, hTarget, Progress::Fn, &progress));
        ledger::FailLoadsAfter(-1);
        EXPECT_EQ(progress.calls.size(), static_cast<size_t>(okLoads + 1));
        EXPECT_EQ(pCloak->m_hWnd, nullptr);
        delete pCloak;
        const ledger::Counts after = ledger::Now();
        EXPECT_TRUE(after == before)
            << ledger::Describe(after) << " vs " << ledger::Describe(before);
    }
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    EXPECT_FALSE(::IsIconic(hTarget));
    ::DestroyWindow(hTarget);
}

// A target that stops answering is skipped within about a second, untouched.
TEST_F(CloakWindowTest, AHungTargetIsSkippedWithinABoundedWait) {
    ThreadTarget target;
    target.Open(50, 50, 240, 180, RGB(255, 255, 0));
    PumpFor(100);
    target.nHangMs = 4000;
    ::Sleep(50);
    const DWORD start = ::GetTickCount();
    CloakWindow cloak;
    EXPECT_FALSE(cloak.Create(Inst(), m_hOwner, target.hWnd, nullptr, nullptr));
    const DWORD took = ::GetTickCount() - start;
    EXPECT_LT(took, 2500u);
    EXPECT_EQ(cloak.m_hWnd, nullptr);
    EXPECT_EQ(cloak.m_hCaptured, nullptr);
    ::Sleep(4000 - std::min<DWORD>(took, 3900));
    EXPECT_TRUE(::IsWindowVisible(target.hWnd));
    EXPECT_FALSE(::IsIconic(target.hWnd));

    // Once it answers again, it is cloaked normally.
    CloakToTheEnd(target.hWnd);
    target.Close();
}

// A target busy long enough for the system to count it as hung (5 s without
// looking at its messages) that answers within the limit is cloaked, not
// skipped.
TEST_F(CloakWindowTest, ATargetThatAnswersLateWithinTheLimitIsCloaked) {
    ThreadTarget target;
    target.Open(50, 50, 240, 180, RGB(0, 255, 255));
    PumpFor(100);
    target.nHangMs = 6000;
    ::Sleep(5500);
    CloakToTheEnd(target.hWnd);
    target.Close();
}

// A target that goes busy between its capture and its hide is not taken for
// one the system refuses to hide: the cloak plays, and the target is hidden
// and minimised once it answers again.
TEST_F(CloakWindowTest, ATargetBusyAtItsHideIsHiddenOnceItAnswers) {
    ThreadTarget target;
    target.style = WS_POPUP;
    target.Open(50, 50, 240, 180, RGB(128, 0, 255));
    PumpFor(100);
    auto* pCloak = new CloakWindow;
    ASSERT_TRUE(pCloak->Create(Inst(), m_hOwner, target.hWnd, nullptr, nullptr));
    target.nHangMs = 1500;
    ::Sleep(50);
    // Busy is known only once the target has had a moment to leave the
    // screen and a moment more to answer: a message posted as the cloak
    // starts is handled before then.
    DWORD dwStart = 0, dwAnswered = 0;
    PostedProbe probe([&] { dwAnswered = ::GetTickCount(); });
    probe.Post();
    dwStart = ::GetTickCount();
    EXPECT_TRUE(pCloak->Start());
    EXPECT_NE(pCloak->m_nTimerId, 0u);
    EXPECT_TRUE(PumpUntil([&] { return probe.bHandled; }, 3000));
    EXPECT_LT(dwAnswered - dwStart, 2 * kHideMomentMs);
    EXPECT_TRUE(PumpUntil([&] { return ::IsIconic(target.hWnd) != FALSE; }, 4000));
    EXPECT_TRUE(PumpUntil([] { return !g_done.empty(); }, 5000));
    ::DestroyWindow(pCloak->m_hWnd);
    delete pCloak;
    target.Close();
}

// Memory that cannot be had (the capture's copy, a mask, the frame section)
// gives the cloak up: no popup, no class, nothing leaked, the target as it
// was. A target whose capture, frame section and masks would need more than
// the memory budget of all cloaks is refused before it is touched: in the
// 32-bit program 8000 x 8000 (1.4 GB), in the 64-bit program 16000 x 10000
// (3.5 GB), where a window across two 3840 x 2160 screens is cloaked.
TEST_F(CloakWindowTest, FramesThatCannotBeAllocatedGiveTheCloakUp) {
    HWND hTarget = MakeTarget(20, 20, 260, 180, RGB(0, 128, 255));
    PumpFor(50);
    const ledger::Counts before = ledger::Now();
    // Sections: 1 for the capture, then the frame section.
    for (int okSections : {0, 1}) {
        auto* pCloak = new CloakWindow;
        ledger::FailSectionsAfter(okSections);
        EXPECT_FALSE(pCloak->Create(Inst(), m_hOwner, hTarget, nullptr, nullptr)) << okSections;
        ledger::FailSectionsAfter(-1);
        EXPECT_EQ(pCloak->m_hWnd, nullptr);
        delete pCloak;
        const ledger::Counts after = ledger::Now();
        EXPECT_TRUE(after == before)
            << ledger::Describe(after) << " vs " << ledger::Describe(before);
    }
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    EXPECT_FALSE(::IsIconic(hTarget));

#ifdef _WIN64
    {
        ::SetWindowPos(hTarget, nullptr, 0, 0, 7680, 2160, SWP_NOZORDER | SWP_NOACTIVATE);
        RECT rc;
        ::GetWindowRect(hTarget, &rc);
        ASSERT_EQ(rc.right - rc.left, 7680);
        auto* pWide = new CloakWindow;
        EXPECT_TRUE(pWide->Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
        EXPECT_EQ(::GetObjectType(pWide->m_hFrame), (DWORD)OBJ_BITMAP);
        if (pWide->m_hWnd)
            ::DestroyWindow(pWide->m_hWnd);
        delete pWide;
    }
    const SIZE refused = {16000, 10000};
#else
    const SIZE refused = {8000, 8000};
#endif
    ::SetWindowPos(hTarget, nullptr, 0, 0, refused.cx, refused.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rc;
    ::GetWindowRect(hTarget, &rc);
    ASSERT_EQ(rc.right - rc.left, refused.cx);
    // More than the budget once all 15 masks are kept (a window holds at
    // most 16000 x 16000, which one mask at a time lets fit).
    const unsigned long long nLimit = CloakMasks::KeptSetLimit(~0ull);
    const DWORD start = ::GetTickCount();
    auto* pCloak = new CloakWindow;
    EXPECT_FALSE(pCloak->Create(Inst(), m_hOwner, hTarget, nullptr, nullptr));
    EXPECT_LT(::GetTickCount() - start, 3000u); // capturing it would take minutes
    EXPECT_EQ(pCloak->m_hCaptured, nullptr);
    delete pCloak;
    CloakMasks::KeptSetLimit(nLimit);
    const ledger::Counts after = ledger::Now();
    EXPECT_TRUE(after == before) << ledger::Describe(after) << " vs " << ledger::Describe(before);
    EXPECT_FALSE(::IsIconic(hTarget));
    ::DestroyWindow(hTarget);
}

// The budget holds all live cloaks together, counting what they hold: three
// large windows of sizes of their own (a third of the budget each, all 15
// masks kept) are made, made, refused cleanly; one fits again once another
// has ended, and a fourth of a live cloak's size fits beside them, since it
// shares that cloak's masks.
TEST_F(CloakWindowTest, TheMemoryBudgetCoversAllLiveCloaksTogether) {
#ifdef _WIN64
    const SIZE sizes[4] = {{8000, 7000}, {7900, 7000}, {7800, 7000}, {7900, 7000}};
#else
    const SIZE sizes[4] = {{5200, 4400}, {5100, 4400}, {5000, 4400}, {5100, 4400}};
#endif
    std::vector<HWND> targets;
    for (int i = 0; i < 4; ++i) {
        targets.push_back(MakeTarget(10 * i, 10 * i, 200, 150, RGB(40 * i, 200, 90)));
        ::SetWindowPos(targets.back(), nullptr, 0, 0, sizes[i].cx, sizes[i].cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    PumpFor(50);
    const ledger::Counts before = ledger::Now();
    const unsigned long long nLimit = CloakMasks::KeptSetLimit(~0ull);
    CloakWindow* cloaks[4] = {};
    auto make = [&](int i) {
        cloaks[i] = new CloakWindow;
        const BOOL bMade = cloaks[i]->Create(Inst(), m_hOwner, targets[i], nullptr, nullptr);
        if (!bMade) {
            EXPECT_EQ(cloaks[i]->m_hWnd, nullptr);
            delete cloaks[i];
            cloaks[i] = nullptr;
        }
        return bMade;
    };
    auto end = [&](int i) {
        ::DestroyWindow(cloaks[i]->m_hWnd);
        delete cloaks[i];
        cloaks[i] = nullptr;
    };
    EXPECT_TRUE(make(0));
    EXPECT_TRUE(make(1));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(make(2)) << "a third does not fit";
    EXPECT_LT(::GetTickCount() - start, 3000u) << "refused before it is captured";
    EXPECT_TRUE(::IsWindowVisible(targets[2]));
    end(0);
    EXPECT_TRUE(make(2)) << "it fits once another has ended";
    EXPECT_TRUE(make(3)) << "a cloak of a live cloak's size shares its masks";
    if (cloaks[1] && cloaks[3]) {
        EXPECT_EQ(cloaks[1]->m_pMasks, cloaks[3]->m_pMasks);
    }
    for (int i = 0; i < 4; ++i)
        if (cloaks[i])
            end(i);
    CloakMasks::KeptSetLimit(nLimit);
    const ledger::Counts after = ledger::Now();
    EXPECT_TRUE(after == before) << ledger::Describe(after) << " vs " << ledger::Describe(before);
    for (HWND hTarget : targets)
        ::DestroyWindow(hTarget);
}

// The 32-bit program is large-address aware: with the address space below
// 2 GB taken, a cloak's capture and frames lie above it, come out exactly as
// below it, and the fade runs to its end.
TEST_F(CloakWindowTest, AboveTwoGigabytesTheFramesComeOutAsBelowIt) {
    HWND hTarget = MakeTarget(40, 40, 240, 160, RGB(200, 60, 30));
    PumpFor(50);
    struct Made {
        bool bAbove = true;
        std::vector<std::vector<uint8_t>> pixels;
    };
    auto make = [&](CloakWindow& cloak) {
        Made made;
        if (!cloak.Create(Inst(), m_hOwner, hTarget, nullptr, nullptr))
            return made;
        made.bAbove = LowMemoryTaken::Above(Bits(cloak.m_hCaptured).dsBm.bmBits);
        for (int i = 0; i < 15; ++i) {
            cloak.ComposeFrame(i);
            const DIBSECTION ds = Bits(cloak.m_hFrame);
            const auto* pBits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
            made.bAbove = made.bAbove && LowMemoryTaken::Above(pBits) &&
                          LowMemoryTaken::Above(cloak.m_pMaskBits);
            made.pixels.emplace_back(pBits, pBits + ds.dsBm.bmWidthBytes * ds.dsBm.bmHeight);
        }
        return made;
    };
    Made madeBelow;
    {
        // Gone before the next is made: live cloaks of one size share masks.
        CloakWindow below;
        madeBelow = make(below);
        ::DestroyWindow(below.m_hWnd);
    }
    ASSERT_EQ(madeBelow.pixels.size(), 15u);
    {
        LowMemoryTaken taken;
        ASSERT_GT(taken.Bytes(), 0u);
        CloakWindow above;
        const Made madeAbove = make(above);
        ASSERT_EQ(madeAbove.pixels.size(), 15u) << "the cloak could not be made above 2 GB";
        EXPECT_TRUE(madeAbove.bAbove);
        for (size_t i = 0; i < 15; ++i)
            EXPECT_TRUE(madeAbove.pixels[i] == madeBelow.pixels[i]) << "frame " << i;
        EXPECT_TRUE(above.Start());
        EXPECT_TRUE(PumpUntil([] { return !g_done.empty(); }, 5000));
        EXPECT_TRUE(::IsIconic(hTarget));
        ::DestroyWindow(above.m_hWnd);
    }
    ::DestroyWindow(hTarget);
}

} // namespace
