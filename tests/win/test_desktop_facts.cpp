// What the desktop says about a window, with the calls the program finds at
// run time replaced by a stand-in for Windows 8 to 11: the visible frame,
// cloaked windows, the per-thread DPI context, where the target's picture
// comes from, and the cloak, the ship and the coil laid over a window at
// 150 %.
#include "windowlist/DesktopFacts.h"

#include "CloakTestSupport.h"
#include "DesktopStandIn.h"
#include "WarpTestUtil.h"
#include "effects/CloakWindow.h"
#include "effects/CoilMath.h"
#include "effects/WarpCoil.h"
#include "effects/WarpShip.h"

#include <gtest/gtest.h>

namespace {

using standin::D;

const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kYellow = RGB(255, 255, 0);
const COLORREF kBorder = RGB(255, 0, 255);
const int kBorderPx = 7; // the invisible resize border left of the frame

// A popup of this thread whose four quadrants have their own colours, with a
// strip of the border colour down its left edge, so that a picture shifted,
// cropped or zoomed shows it.
LRESULT CALLBACK QuadrantProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_ERASEBKGND) {
        RECT rc;
        ::GetClientRect(h, &rc);
        const int cx = rc.right, cy = rc.bottom, mx = kBorderPx + (cx - kBorderPx) / 2, my = cy / 2;
        const struct {
            RECT rc;
            COLORREF c;
        } parts[] = {{{0, 0, kBorderPx, cy}, kBorder},
                     {{kBorderPx, 0, mx, my}, kRed},
                     {{mx, 0, cx, my}, kGreen},
                     {{kBorderPx, my, mx, cy}, kBlue},
                     {{mx, my, cx, cy}, kYellow}};
        for (const auto& part : parts) {
            HBRUSH br = ::CreateSolidBrush(part.c);
            ::FillRect((HDC)w, &part.rc, br);
            ::DeleteObject(br);
        }
        return 1;
    }
    return ::DefWindowProcA(h, m, w, l);
}

HWND MakeQuadrants(int x, int y, int cx, int cy) {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = QuadrantProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "desktop facts quadrants";
        atom = ::RegisterClassA(&wc);
    }
    HWND h = ::CreateWindowExA(0, "desktop facts quadrants", "quadrants", WS_POPUP, x, y, cx, cy,
                               nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::ShowWindow(h, SW_SHOWNORMAL);
    ::UpdateWindow(h);
    cloaktest::PumpFor(100); // until the display shows it
    return h;
}

RECT PhysicalRect(HWND h) {
    RECT rc = {};
    standin::RealGetWindowRect()(h, &rc);
    return rc;
}

// The frame of a quadrant window: everything right of its border strip.
RECT FrameOf(HWND h) {
    RECT rc = PhysicalRect(h);
    rc.left += kBorderPx;
    return rc;
}

// A picture and a reader of its pixels.
struct Picture {
    HDC hdc = nullptr;
    HBITMAP hBitmap = nullptr;
    HGDIOBJ hOld = nullptr;
    Picture(int cx, int cy) {
        HDC hScreen = ::GetDC(nullptr);
        hdc = ::CreateCompatibleDC(hScreen);
        hBitmap = ::CreateCompatibleBitmap(hScreen, cx, cy);
        hOld = ::SelectObject(hdc, hBitmap);
        ::ReleaseDC(nullptr, hScreen);
    }
    explicit Picture(HBITMAP hOther) {
        hdc = ::CreateCompatibleDC(nullptr);
        hOld = ::SelectObject(hdc, hOther);
    }
    ~Picture() {
        ::SelectObject(hdc, hOld);
        ::DeleteDC(hdc);
        if (hBitmap)
            ::DeleteObject(hBitmap);
    }
    COLORREF At(int x, int y) const { return ::GetPixel(hdc, x, y) & 0xFFFFFF; }
};

// The corners of a picture of the frame of a cx x cy quadrant window.
void ExpectQuadrants(const Picture& p, int cx, int cy) {
    EXPECT_EQ(p.At(0, 0), kRed);
    EXPECT_EQ(p.At(cx - 1, 0), kGreen);
    EXPECT_EQ(p.At(0, cy - 1), kBlue);
    EXPECT_EQ(p.At(cx - 1, cy - 1), kYellow);
}

// Points across each quadrant, near the edges and well inside: a picture
// cropped, shifted or zoomed by a fraction of its size shows another colour
// at some of them.
void ExpectQuadrantsThroughout(const Picture& p, int cx, int cy) {
    const int xs[] = {cx * 5 / 100, cx * 30 / 100, cx * 70 / 100, cx * 95 / 100};
    const int ys[] = {cy * 5 / 100, cy * 30 / 100, cy * 70 / 100, cy * 95 / 100};
    const COLORREF want[2][2] = {{kRed, kGreen}, {kBlue, kYellow}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(p.At(xs[i], ys[j]), want[j / 2][i / 2]) << "at " << xs[i] << "," << ys[j];
}

// What the screen shows over rc.
struct ScreenPicture : Picture {
    explicit ScreenPicture(const RECT& rc) : Picture(rc.right - rc.left, rc.bottom - rc.top) {
        HDC hScreen = ::GetDC(nullptr);
        standin::RealBitBlt()(hdc, 0, 0, rc.right - rc.left, rc.bottom - rc.top, hScreen, rc.left,
                              rc.top, SRCCOPY);
        ::ReleaseDC(nullptr, hScreen);
    }
};

// A visible popup over (x, y, cx, cy) with those extended styles.
HWND MakeOverlay(DWORD dwExStyle, int x, int y, int cx, int cy) {
    return ::CreateWindowExA(dwExStyle | WS_EX_TOPMOST, "STATIC", "overlay", WS_POPUP | WS_VISIBLE,
                             x, y, cx, cy, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

class DesktopFactsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(standin::InstallHooks()); }
    void TearDown() override { cloaktest::PumpFor(20); }
};

// A system without the calls (Windows 2000) answers as Wine does: no
// compositor, nothing cloaked, no shell window, the window rectangle, the
// window-DC copy and no DPI context.
TEST_F(DesktopFactsTest, WithoutTheNewerCallsEverythingIsAsOnWindows2000) {
    HWND h = MakeQuadrants(50, 60, 200, 100);
    const RECT whole = PhysicalRect(h);
    DesktopCalls none = {};
    SetDesktopCalls(&none);
    EXPECT_FALSE(IsDesktopComposed());
    EXPECT_FALSE(IsWindowCloaked(h));
    EXPECT_FALSE(IsShellDesktopWindow(h));
    RECT rc = {};
    ASSERT_TRUE(GetVisibleFrame(h, &rc));
    EXPECT_TRUE(::EqualRect(&rc, &whole));
    { CPhysicalPixels physical; }
    Picture p(200, 100);
    EXPECT_TRUE(CopyTargetPicture(h, whole, p.hdc));
    EXPECT_EQ(p.At(0, 0), kBorder);
    SetDesktopCalls(nullptr);
    ::DestroyWindow(h);
    EXPECT_FALSE(GetVisibleFrame(h, &rc));
}

// The system's refusal, judged one way for every request: a target whose
// process runs above this one's integrity level is refused without being
// asked; a request that fails with access denied is refused; a busy target
// is busy, also when an older access-denied error is still the thread's last
// error (Windows leaves it there when a send runs out of time).
TEST_F(DesktopFactsTest, TheSystemsRefusalIsAHigherLevelOrADeniedRequestNeverAnOldError) {
    ASSERT_TRUE(standin::InstallSendHooks());
    standin::Scope desktop;
    cloaktest::ThreadTarget target;
    target.Open(40, 40, 120, 90, kGreen);
    cloaktest::PumpFor(50);
    EXPECT_EQ(AskTarget(target.hWnd, 500), kTargetAnswers);

    target.nHangMs = 1500;
    ::Sleep(50);
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(AskTarget(target.hWnd, 200), kTargetBusy);
    EXPECT_EQ(D().nTimedOutAsks, 1);
    ::Sleep(1500);

    D().blocked.insert(target.hWnd);
    EXPECT_EQ(AskTarget(target.hWnd, 500), kTargetRefuses);
    D().blocked.clear();

    D().integrity = true;
    desktop.Refresh();
    const struct {
        DWORD level;
        TargetReply reply;
    } levels[] = {{0x3000, kTargetRefuses}, {0x2000, kTargetAnswers}, {0x1000, kTargetAnswers}};
    for (const auto& l : levels) {
        D().targetLevel = l.level;
        EXPECT_EQ(AskTarget(target.hWnd, 500), l.reply) << std::hex << l.level;
        EXPECT_EQ(SystemRefuses(target.hWnd, FALSE), l.reply == kTargetRefuses);
    }
    target.Close();
}

// Windows 10 before 1703 has no V2 context: the older per-monitor one serves.
TEST_F(DesktopFactsTest, PhysicalPixelsFallBackToThePerMonitorContextAndRestoreTheOld) {
    standin::Scope desktop;
    D().dpiCalls = true;
    D().perMonitorV2 = false;
    desktop.Refresh();
    {
        CPhysicalPixels physical;
        EXPECT_EQ(standin::Context(), (HANDLE)(LONG_PTR)-3);
    }
    EXPECT_EQ(standin::Context(), standin::kUnaware);
}

// A window drawn by the GPU: its window-DC copy is black, the screen shows it.
TEST_F(DesktopFactsTest, AGpuDrawnTargetInFrontIsCopiedFromTheScreen) {
    standin::Scope desktop;
    HWND h = MakeQuadrants(40, 40, 207, 120);
    D().gpuDrawn.insert(h);
    const RECT frame = FrameOf(h);
    {
        // Without a compositor, today's copy: what the window DC holds.
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        EXPECT_EQ(p.At(0, 0), RGB(0, 0, 0));
        EXPECT_EQ(D().nFlushCalls, 0);
    }
    D().composed = true;
    Picture p(200, 120);
    ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
    ExpectQuadrants(p, 200, 120);
    EXPECT_EQ(D().nFlushCalls, 1) << "the raise is presented before the screen is read";
    EXPECT_EQ(D().nPrintCalls, 0);
    ::DestroyWindow(h);
}

// Something lies over part of the target: the screen would show it, so the
// target renders itself; where it cannot, today's copy.
TEST_F(DesktopFactsTest, ACoveredTargetIsRenderedOrCopiedAsToday) {
    standin::Scope desktop;
    HWND h = MakeQuadrants(40, 40, 207, 120);
    HWND cover = cloaktest::MakeTarget(150, 100, 50, 30, RGB(0, 128, 128), "cover", WS_POPUP);
    ::SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    D().composed = true;
    D().gpuDrawn.insert(h);
    D().fullContent[h] = kGreen;
    const RECT frame = FrameOf(h);
    {
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        EXPECT_EQ(p.At(0, 0), kGreen);
        EXPECT_EQ(p.At(199, 119), kGreen) << "not the cover";
        EXPECT_EQ(D().nPrintCalls, 1);
    }
    // A cloaked window over it is not on screen: it covers nothing.
    D().cloaked[cover] = 1;
    {
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        EXPECT_EQ(p.At(0, 0), kRed);
    }
    // Nor does a click-through overlay (layered, taking no input), as a
    // recording program shows; a layered window that takes input does.
    HWND overlay = MakeOverlay(WS_EX_LAYERED | WS_EX_TRANSPARENT, 150, 100, 50, 30);
    {
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        EXPECT_EQ(p.At(0, 0), kRed);
        EXPECT_EQ(D().nPrintCalls, 1);
    }
    ::SetWindowLongPtrA(overlay, GWL_EXSTYLE,
                        ::GetWindowLongPtrA(overlay, GWL_EXSTYLE) & ~WS_EX_TRANSPARENT);
    {
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        EXPECT_EQ(p.At(0, 0), kGreen);
        EXPECT_EQ(D().nPrintCalls, 2);
    }
    ::DestroyWindow(overlay);
    D().cloaked.clear();
    // No full-content rendering (Windows 8.0): the window DC, as today.
    D().fullContent.clear();
    D().gpuDrawn.clear();
    {
        Picture p(200, 120);
        ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        ExpectQuadrants(p, 200, 120);
    }
    ::DestroyWindow(cover);
    ::DestroyWindow(h);
}

// The windows above the target keep being raised while the z-order is
// walked down to it: the walk gives up after a bounded count, and the target
// renders itself.
TEST_F(DesktopFactsTest, TheWalkDownTheZOrderIsBounded) {
    standin::Scope desktop;
    HWND h = MakeQuadrants(40, 40, 207, 120);
    HWND above = MakeOverlay(0, 600, 400, 20, 20); // away from the target
    D().composed = true;
    D().fullContent[h] = kGreen;
    D().endlessAbove = h;
    Picture p(200, 120);
    ASSERT_TRUE(CopyTargetPicture(h, FrameOf(h), p.hdc));
    EXPECT_LE(D().nNextCalls, kMaxWindowsAbove);
    EXPECT_EQ(p.At(0, 0), kGreen);
    D().endlessAbove = nullptr;
    ::DestroyWindow(above);
    ::DestroyWindow(h);
}

// At 150 % the process, unaware, is shown rectangles divided by 1.5, and
// makes windows in them; a quadrant window, made per-monitor aware so that
// it draws in physical pixels, reports its visible frame.
class At150Percent : public DesktopFactsTest {
  protected:
    void SetUp() override {
        DesktopFactsTest::SetUp();
        D().dpiCalls = true;
        D().scalePercent = 150;
        m_desktop.Refresh();
        m_hOwner = CreateOwnerWindow();
        standin::SetThreadContext(TACHY_DPI_CONTEXT_PER_MONITOR_V2);
        m_hTarget = MakeQuadrants(90, 300, 307, 150);
        standin::SetThreadContext(standin::kUnaware);
        m_frame = FrameOf(m_hTarget);
        D().frames[m_hTarget] = m_frame;
    }
    void TearDown() override {
        ::DestroyWindow(m_hTarget);
        ::DestroyWindow(m_hOwner);
        DesktopFactsTest::TearDown();
    }
    standin::Scope m_desktop;
    HWND m_hOwner = nullptr;
    HWND m_hTarget = nullptr;
    RECT m_frame = {};
};

// The cloak lays the picture over the window pixel for pixel, while its
// progress strip is drawn as the system scales the dialog.
TEST_F(At150Percent, TheCloakLinesUpWithTheWindow) {
    HWND hOwner = m_hOwner, h = m_hTarget;
    auto* pCloak = new CloakWindow;
    // The progress goes to the dialog, which draws in the process's context.
    int nAwareReports = 0;
    CloakProgressFn pfnProgress = [](int, int, void* pUser) {
        *static_cast<int*>(pUser) += standin::Context() != standin::kUnaware;
    };
    ASSERT_TRUE(
        pCloak->Create(::GetModuleHandleA(nullptr), hOwner, h, pfnProgress, &nAwareReports));
    EXPECT_EQ(nAwareReports, 0);
    const RECT want = m_frame;
    RECT popup = PhysicalRect(pCloak->m_hWnd);
    EXPECT_TRUE(::EqualRect(&popup, &want))
        << popup.left << "," << popup.top << "," << popup.right << "," << popup.bottom;
    {
        Picture p(pCloak->m_hCaptured);
        ExpectQuadrants(p, 300, 150);
    }
    EXPECT_EQ(standin::Context(), standin::kUnaware) << "the thread's context is restored";
    // On screen too, where the window was: a popup that the system
    // stretched would show a zoomed corner of the picture.
    ::ShowWindow(h, SW_HIDE);
    ::ShowWindow(pCloak->m_hWnd, SW_SHOWNOACTIVATE);
    cloaktest::PumpFor(100);
    {
        ScreenPicture p(want);
        ExpectQuadrantsThroughout(p, 300, 150);
    }
    ::DestroyWindow(pCloak->m_hWnd);
    delete pCloak;
}

// Each frame of the coil that its thread shows, and those that did not land
// where the thread placed them.
volatile LONG g_nCoilFrames = 0;
volatile LONG g_nCoilFramesAstray = 0;
void CheckCoilFrame(HWND hWnd, int, BYTE, POINT ptTopLeft, SIZE size) {
    if (size.cx <= 0 || size.cy <= 0)
        return;
    const RECT rc = PhysicalRect(hWnd);
    const RECT want = {ptTopLeft.x, ptTopLeft.y, ptTopLeft.x + size.cx, ptTopLeft.y + size.cy};
    if (!::EqualRect(&rc, &want))
        ::InterlockedIncrement(&g_nCoilFramesAstray);
    ::InterlockedIncrement(&g_nCoilFrames);
}

// Likewise the ship: R is the frame in physical pixels, the picture is the
// frame's, and the coil is placed on the physical screen, where its thread
// then shows its frames.
TEST_F(At150Percent, TheShipAndTheCoilLineUpWithTheWindow) {
    HWND hOwner = m_hOwner, h = m_hTarget;
    const RECT want = m_frame;
    WarpCoil coil;
    ASSERT_TRUE(coil.Create(::GetModuleHandleA(nullptr), hOwner, 100));
    const Point32 place = CoilPlacement(standin::RealGetSystemMetrics()(SM_CXSCREEN),
                                        standin::RealGetSystemMetrics()(SM_CYSCREEN));
    RECT rcCoil = PhysicalRect(coil.GetWindow());
    EXPECT_EQ(rcCoil.left, place.x);
    EXPECT_EQ(rcCoil.top, place.y);
    // The picture is read before the morph draws over it.
    struct Seen {
        bool bRead = false;
        COLORREF corners[4] = {};
    } seen;
    WarpShipObserver observer = {
        nullptr,
        [](void* pUser, int) {
            auto* s = static_cast<Seen*>(pUser);
            if (s->bRead)
                return;
            s->bRead = true;
            const WarpShip& ship = GetWarpShipState();
            const int cx = ship.nWidth - 1, cy = ship.nHeight - 1;
            const POINT pts[4] = {{0, 0}, {cx, 0}, {0, cy}, {cx, cy}};
            for (int i = 0; i < 4; ++i)
                s->corners[i] = ::GetPixel(ship.hImageDC, pts[i].x, pts[i].y) & 0xFFFFFF;
        },
        &seen};
    SetWarpShipObserver(&observer);
    g_nCoilFrames = g_nCoilFramesAstray = 0;
    WarpCoil::SetFrameObserver(CheckCoilFrame);
    ASSERT_EQ(StartWarpShip(::GetModuleHandleA(nullptr), h, &coil, TRUE), 1);
    SetWarpShipObserver(nullptr);
    EXPECT_TRUE(cloaktest::PumpUntil([] { return g_nCoilFrames >= 10; }, 3000));
    WarpCoil::SetFrameObserver(nullptr);
    EXPECT_EQ(g_nCoilFramesAstray, 0);
    const RECT& r = GetWarpShipState().rcTarget;
    EXPECT_TRUE(::EqualRect(&r, &want))
        << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    ASSERT_TRUE(seen.bRead);
    EXPECT_EQ(seen.corners[0], kRed);
    EXPECT_EQ(seen.corners[1], kGreen);
    EXPECT_EQ(seen.corners[2], kBlue);
    EXPECT_EQ(seen.corners[3], kYellow);
    EXPECT_EQ(standin::Context(), standin::kUnaware);
    DestroyWarpShip();
    coil.Destroy();
}

// A DPI-unaware target renders at its logical size, which the system
// stretches on screen. With a window over it its own picture is read, from
// its full-content rendering or else its window DC: stretched onto the
// frame, it is the window as the user sees it, not a cropped corner.
TEST_F(At150Percent, ACoveredUnawareTargetIsStretchedOntoItsFrame) {
    D().composed = true;
    HWND h = MakeQuadrants(60, 200, 208, 100); // logical: 90, 300, 312 x 150 on screen
    const RECT frame = FrameOf(h);
    D().frames[h] = frame;
    const int cx = frame.right - frame.left, cy = frame.bottom - frame.top;
    ASSERT_EQ(cx, 312 - kBorderPx);
    HWND cover = cloaktest::MakeTarget(150, 230, 40, 30, RGB(0, 128, 128), "cover", WS_POPUP);
    ::SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    D().fullContent[h] = standin::kOwnPicture;
    for (int nPrintCalls : {1, 2}) {
        Picture p(cx, cy);
        {
            CPhysicalPixels physical;
            ASSERT_TRUE(CopyTargetPicture(h, frame, p.hdc));
        }
        EXPECT_EQ(D().nPrintCalls, nPrintCalls);
        ExpectQuadrantsThroughout(p, cx, cy);
        D().fullContent.clear(); // Windows 8.0: the window DC
    }
    ::DestroyWindow(cover);
    ::DestroyWindow(h);
}

} // namespace
