// The warp coil on a real window system: creation and placement, the frames
// it really shows, and teardown from every state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Emulation.h"
#include "WarpTestUtil.h"
#include "effects/WarpCoil.h"

namespace {

struct Frame {
    int n;
    int alpha;
    POINT topLeft;
    SIZE size;
    RECT window; // the layered window's rectangle right after the frame
    DWORD tick;
};
std::vector<Frame> g_frames;

void RecordFrame(HWND hWnd, int n, BYTE bAlpha, POINT ptTopLeft, SIZE size) {
    Frame f = {n, bAlpha, ptTopLeft, size, {}, ::GetTickCount()};
    ::GetWindowRect(hWnd, &f.window);
    g_frames.push_back(f);
}

class WarpCoilTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_hOwner = CreateOwnerWindow();
        g_frames.clear();
        g_frames.reserve(200);
        WarpCoil::SetFrameObserver(RecordFrame);
    }
    void TearDown() override {
        WarpCoil::SetFrameObserver(nullptr);
        ::DestroyWindow(m_hOwner);
    }
    HINSTANCE Instance() const { return ::GetModuleHandleA(nullptr); }
    HWND m_hOwner = nullptr;
};

TEST_F(WarpCoilTest, CreatedCoilIsHiddenAtItsPlacementWithItsOwnClass) {
    WarpCoil coil;
    EXPECT_EQ(std::strncmp(coil.GetClassName(), "warp coil window class", 22), 0);
    EXPECT_EQ(std::strlen(coil.GetClassName()), 30u);
    ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 0));
    HWND hWnd = coil.GetWindow();
    ASSERT_TRUE(::IsWindow(hWnd));
    char szTitle[32] = "";
    ::GetWindowTextA(hWnd, szTitle, sizeof szTitle);
    EXPECT_STREQ(szTitle, "warp1!");
    EXPECT_FALSE(::IsWindowVisible(hWnd));
    EXPECT_TRUE(::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const int x0 = (int)(::GetSystemMetrics(SM_CXSCREEN) * 0.8f);
    const int y0 = (int)(::GetSystemMetrics(SM_CYSCREEN) * 0.1f);
    RECT rc;
    ::GetWindowRect(hWnd, &rc);
    EXPECT_EQ(rc.left, x0);
    EXPECT_EQ(rc.top, y0);
    EXPECT_EQ(coil.GetSize().cx, 128);
    EXPECT_EQ(coil.GetSize().cy, 200);
    // Spread 0: the centre is the middle of the image at the placement.
    EXPECT_EQ(coil.GetCentre().x, x0 + 64);
    EXPECT_EQ(coil.GetCentre().y, y0 + 100);
    std::string strClass = coil.GetClassName();

    // Never started: Destroy does not wait, and takes window and class.
    const DWORD dwStart = ::GetTickCount();
    coil.Destroy();
    EXPECT_LT(::GetTickCount() - dwStart, 500u); // a wait would be the 2-s animation
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_FALSE(ClassExists(strClass.c_str()));
    EXPECT_TRUE(g_frames.empty());
}

TEST_F(WarpCoilTest, SpreadKeepsTheCentreWithinItsSquare) {
    ::srand(7);
    WarpCoil coil;
    ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 100));
    const int x0 = (int)(::GetSystemMetrics(SM_CXSCREEN) * 0.8f);
    const int y0 = (int)(::GetSystemMetrics(SM_CYSCREEN) * 0.1f);
    EXPECT_GE(coil.GetCentre().x, x0 + 64);
    EXPECT_LE(coil.GetCentre().x, x0 + 164);
    EXPECT_GE(coil.GetCentre().y, y0 + 100);
    EXPECT_LE(coil.GetCentre().y, y0 + 200);
    coil.Destroy();
}

// The centre takes the generator's next two values, the first for x and the
// second for y: with the same seed, the exact point is known beforehand.
TEST_F(WarpCoilTest, CentreTakesTheNextTwoRandomValuesXFirst) {
    const int x0 = (int)(::GetSystemMetrics(SM_CXSCREEN) * 0.8f);
    const int y0 = (int)(::GetSystemMetrics(SM_CYSCREEN) * 0.1f);
    for (unsigned seed : {1u, 12345u, 0xC0FFEEu}) {
        ::srand(seed);
        const int r1 = ::rand();
        const int r2 = ::rand();
        // Offsets that differ, so that exchanging the two calls shows.
        ASSERT_NE(r1 * 100 / 32767, r2 * 100 / 32767) << "seed " << seed;
        ::srand(seed);
        WarpCoil coil;
        ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 100));
        EXPECT_EQ(coil.GetCentre().x, x0 + r1 * 100 / 32767 + 64) << "seed " << seed;
        EXPECT_EQ(coil.GetCentre().y, y0 + r2 * 100 / 32767 + 100) << "seed " << seed;
        coil.Destroy();
    }
}

TEST_F(WarpCoilTest, RunningCoilShowsTheTellingFramesAndReports) {
    WarpCoil coil;
    ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 0));
    HWND hWnd = coil.GetWindow();
    const POINT c = coil.GetCentre();
    coil.Start();
    EXPECT_TRUE(::IsWindowVisible(hWnd));
    EXPECT_EQ(PumpUntilCoilDone(m_hOwner, 5000), (LPARAM)hWnd);
    // The thread forgets the window just after its report.
    for (int i = 0; i < 100 && coil.GetWindow(); ++i)
        ::Sleep(10);
    EXPECT_EQ(coil.GetWindow(), nullptr);

    ASSERT_EQ(g_frames.size(), 100u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(g_frames[i].n, i + 1);
    struct Row {
        int n, alpha, cx, cy;
    } rows[] = {{1, 48, 24, 37},  {5, 191, 96, 150}, {10, 255, 128, 200}, {11, 201, 101, 158},
                {50, 63, 32, 50}, {90, 2, 1, 1},     {94, 0, 0, 0},       {100, 0, 0, 0}};
    for (const Row& r : rows) {
        const Frame& f = g_frames[r.n - 1];
        EXPECT_EQ(f.alpha, r.alpha) << "frame " << r.n;
        EXPECT_EQ(f.size.cx, r.cx) << "frame " << r.n;
        EXPECT_EQ(f.size.cy, r.cy) << "frame " << r.n;
        EXPECT_EQ(f.topLeft.x, c.x - r.cx / 2) << "frame " << r.n;
        EXPECT_EQ(f.topLeft.y, c.y - r.cy / 2) << "frame " << r.n;
    }
    // Only frame 10 is at full size and alpha 255.
    int nFull = 0;
    for (const Frame& f : g_frames)
        nFull += (f.alpha == 255 && f.size.cx == 128);
    EXPECT_EQ(nFull, 1);
    // The window really took each visible frame's place and size.
    for (const Frame& f : g_frames) {
        if (f.size.cx <= 0 || f.size.cy <= 0)
            continue;
        EXPECT_EQ(f.window.left, f.topLeft.x) << "frame " << f.n;
        EXPECT_EQ(f.window.top, f.topLeft.y) << "frame " << f.n;
        EXPECT_EQ(f.window.right - f.window.left, f.size.cx) << "frame " << f.n;
        EXPECT_EQ(f.window.bottom - f.window.top, f.size.cy) << "frame " << f.n;
    }
    // 99 pauses of 20 ms: at least about two seconds. A busy machine may
    // stretch some gaps, so the pace is judged by the median gap.
    const DWORD dwSpan = g_frames.back().tick - g_frames.front().tick;
    EXPECT_GE(dwSpan, 1900u);
    std::vector<DWORD> gaps;
    for (size_t i = 1; i < g_frames.size(); ++i)
        gaps.push_back(g_frames[i].tick - g_frames[i - 1].tick);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_LE(gaps[gaps.size() / 2], 35u);

    // Finished: the owner hands the window back, then Destroy drops the rest.
    std::string strClass = coil.GetClassName();
    WarpCoil::ReleaseWindow(hWnd);
    coil.Destroy();
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_FALSE(ClassExists(strClass.c_str()));
}

TEST_F(WarpCoilTest, DestroyWhileRunningEndsWithinAboutOneFrameAndStillReports) {
    // Stop requests at many moments of the animation, so one that races the
    // thread's own frame counter write would show up as a 2-second wait.
    for (int nDelay = 0; nDelay < 300; nDelay += 23) {
        g_frames.clear();
        WarpCoil coil;
        ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 0));
        HWND hWnd = coil.GetWindow();
        coil.Start();
        ::Sleep(nDelay);
        const DWORD dwStart = ::GetTickCount();
        coil.Destroy();
        const DWORD dwTook = ::GetTickCount() - dwStart;
        EXPECT_LE(dwTook, 400u) << "stop after " << nDelay << " ms";
        MSG msg;
        ASSERT_TRUE(::PeekMessageA(&msg, m_hOwner, UM_COIL_DONE, UM_COIL_DONE, PM_REMOVE));
        EXPECT_EQ(msg.lParam, (LPARAM)hWnd);
        // The last frame drawn is the empty frame 0 of the stop request.
        ASSERT_FALSE(g_frames.empty());
        EXPECT_EQ(g_frames.back().alpha, 0);
        EXPECT_EQ(g_frames.back().size.cx, 0);
        EXPECT_LT((int)g_frames.size(), 100);
        WarpCoil::ReleaseWindow(hWnd);
    }
}

TEST_F(WarpCoilTest, CoilWhoseClassExistsCannotBeCreated) {
    WarpCoil coil;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = Instance();
    wc.lpszClassName = coil.GetClassName();
    ASSERT_TRUE(::RegisterClassA(&wc));
    EXPECT_FALSE(coil.Create(Instance(), m_hOwner, 100));
    EXPECT_EQ(coil.GetWindow(), nullptr);
    EXPECT_EQ(coil.GetImageDC(), nullptr); // nothing else was made
    coil.Destroy();
    // The class is someone else's: Destroy leaves it alone.
    EXPECT_TRUE(ClassExists(coil.GetClassName()));
    ::UnregisterClassA(coil.GetClassName(), Instance());
}

// Under Wine the animation thread needs nothing from the thread that owns the
// coil window; Windows may make it wait for that thread (see WarpCoil.h), so
// the program's waits answer sent messages either way. Should a Wine release
// start to need the owning thread, this shows it.
TEST_F(WarpCoilTest, UnderWineTheAnimationNeedsNothingFromTheWindowsThread) {
    // The window belongs to this thread, which now answers nothing for a
    // while.
    WarpCoil coil;
    ASSERT_TRUE(coil.Create(Instance(), m_hOwner, 0));
    coil.Start();
    ::Sleep(1000);
    const size_t nDrawn = g_frames.size();
    // An emulated processor draws the frames 25-30 times slower; a stall
    // would draw none either way.
    EXPECT_GE(nDrawn, RunsEmulated() ? 10u : 30u);
    EXPECT_NE(PumpUntilCoilDone(m_hOwner, 5000), 0);
    DWORD dwWorst = 0;
    for (size_t i = 1; i < g_frames.size(); ++i)
        dwWorst = std::max(dwWorst, g_frames[i].tick - g_frames[i - 1].tick);
    EXPECT_LT(dwWorst, 250u); // a stall would last the owner's whole second
    HWND hWnd = ::FindWindowA(coil.GetClassName(), nullptr);
    coil.Destroy();
    WarpCoil::ReleaseWindow(hWnd);
}

} // namespace
