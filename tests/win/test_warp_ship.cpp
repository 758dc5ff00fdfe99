// The warp ship on a real window system: the regions the morph really sets
// on its window, the strip blit's pixels, and the failure paths.
#include <gtest/gtest.h>

#include <vector>

#include "CloakTestSupport.h"
#include "HandleLedger.h"
#include "LowMemoryTaken.h"
#include "WarpTestUtil.h"
#include "effects/WarpCoil.h"
#include "effects/WarpShip.h"

namespace {

struct Region {
    std::vector<POINT> pts;
    bool bHeld; // the window's region equals this polygon right after it was set
};

struct Record {
    std::vector<Region> regions;
    std::vector<int> blits;
};

void OnRegion(void* pUser, HWND hShip, const POINT* pts, int n) {
    Region r;
    r.pts.assign(pts, pts + n);
    HRGN hHeld = ::CreateRectRgn(0, 0, 0, 0);
    HRGN hWanted = ::CreatePolygonRgn(pts, n, ALTERNATE);
    r.bHeld = ::GetWindowRgn(hShip, hHeld) != ERROR && ::EqualRgn(hHeld, hWanted);
    ::DeleteObject(hHeld);
    ::DeleteObject(hWanted);
    static_cast<Record*>(pUser)->regions.push_back(r);
}

void OnDraw(void* pUser, int nBlits) {
    static_cast<Record*>(pUser)->blits.push_back(nBlits);
}

std::vector<POINT> Pts(std::initializer_list<POINT> l) {
    return std::vector<POINT>(l);
}

bool Same(const std::vector<POINT>& a, const std::vector<POINT>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return true;
}

std::string Str(const std::vector<POINT>& v) {
    std::string s;
    for (POINT p : v)
        s += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
    return s;
}

class WarpShipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_hOwner = CreateOwnerWindow();
        WarpShipObserver obs = {OnRegion, OnDraw, &m_record};
        SetWarpShipObserver(&obs);
    }
    void TearDown() override {
        SetWarpShipObserver(nullptr);
        DestroyWarpShip();
        ::DestroyWindow(m_hOwner);
    }
    HINSTANCE Instance() const { return ::GetModuleHandleA(nullptr); }
    // A created coil aimed at P.
    bool MakeCoil(WarpCoil& coil, POINT P) {
        if (!coil.Create(Instance(), m_hOwner, 0))
            return false;
        coil.SetCentre(P);
        return true;
    }
    void FinishCoil(WarpCoil& coil) {
        HWND hWnd = coil.GetWindow();
        PumpUntilCoilDone(m_hOwner, 5000);
        WarpCoil::ReleaseWindow(hWnd);
        coil.Destroy();
    }
    HWND m_hOwner = nullptr;
    Record m_record;
};

TEST_F(WarpShipTest, FirstWindowSetsTheWorkedExampleRegions) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    ASSERT_EQ(StartWarpShip(Instance(), hTarget, &coil, 1), 1);

    const WarpShip& ship = GetWarpShipState();
    ASSERT_TRUE(::IsWindow(ship.hShip));
    RECT rc;
    ::GetWindowRect(ship.hShip, &rc);
    EXPECT_EQ(rc.left, 100);
    EXPECT_EQ(rc.top, 150);
    EXPECT_EQ(rc.right - rc.left, 800);
    EXPECT_EQ(rc.bottom - rc.top, 450);
    char szTitle[32] = "";
    ::GetWindowTextA(ship.hShip, szTitle, sizeof szTitle);
    EXPECT_STREQ(szTitle, "engage!");
    // At the end the ship is hidden, the target hidden and minimised, and
    // the coil started.
    EXPECT_FALSE(::IsWindowVisible(ship.hShip));
    EXPECT_TRUE(::IsIconic(hTarget));
    EXPECT_TRUE(::IsWindowVisible(coil.GetWindow()));

    const auto& r = m_record.regions;
    ASSERT_EQ(r.size(), 21u);
    EXPECT_EQ(ship.nRegions, 21);
    EXPECT_PRED2(Same, r[0].pts, Pts({{53, 149}, {426, 149}, {400, 450}, {0, 450}}))
        << Str(r[0].pts);
    EXPECT_PRED2(Same, r[9].pts, Pts({{536, 149}, {668, 149}, {400, 450}, {0, 450}}))
        << Str(r[9].pts);
    EXPECT_PRED2(Same, r[10].pts, Pts({{800, 0}, {400, 450}, {0, 450}})) << Str(r[10].pts);
    EXPECT_PRED2(Same, r[11].pts, Pts({{800, 0}, {800, 420}, {54, 420}})) << Str(r[11].pts);
    EXPECT_PRED2(Same, r[20].pts, Pts({{800, 0}, {800, 100}, {622, 100}})) << Str(r[20].pts);
    for (size_t i = 0; i < r.size(); ++i)
        EXPECT_TRUE(r[i].bHeld) << "region " << i << " was not the window's";

    // 10 + 9 + 10 draws of ceil(height / 3) strips each; the empty band of
    // the last frame reads nothing at all.
    const auto& b = m_record.blits;
    ASSERT_EQ(b.size(), 29u);
    EXPECT_EQ(b[0], 101); // rows 149 to 450: 301 rows
    EXPECT_EQ(b[10], 101);
    EXPECT_EQ(b[18], 150); // the step-9 triangle: 450 rows
    EXPECT_EQ(b[28], 0);
    FinishCoil(coil);
    ::DestroyWindow(hTarget);
}

TEST_F(WarpShipTest, LaterWindowSkipsTheNarrowingAndTwoShipsNeedADestroyBetween) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    ASSERT_EQ(StartWarpShip(Instance(), hTarget, &coil, 0), 1);
    ASSERT_EQ(m_record.regions.size(), 11u);
    EXPECT_PRED2(Same, m_record.regions[0].pts, Pts({{800, 0}, {400, 450}, {0, 450}}));

    // The class of the first ship is still registered: no second ship.
    HWND hTarget2 = CreateTargetWindow(RECT{50, 50, 250, 250});
    WarpCoil coil2;
    ASSERT_TRUE(MakeCoil(coil2, POINT{900, 150}));
    EXPECT_EQ(StartWarpShip(Instance(), hTarget2, &coil2, 1), 0);
    EXPECT_TRUE(::IsWindowVisible(hTarget2));
    EXPECT_FALSE(::IsWindowVisible(coil2.GetWindow())); // never started
    coil2.Destroy();

    // DestroyWarpShip takes window, images and class.
    HWND hShip = GetWarpShipState().hShip;
    DestroyWarpShip();
    EXPECT_FALSE(::IsWindow(hShip));
    EXPECT_EQ(GetWarpShipState().hShip, nullptr);
    EXPECT_EQ(GetWarpShipState().hImageDC, nullptr);
    EXPECT_EQ(GetWarpShipState().hImage, nullptr);
    EXPECT_FALSE(ClassExists("warp ship window class"));
    DestroyWarpShip(); // nothing left: harmless

    FinishCoil(coil);
    ::DestroyWindow(hTarget);
    ::DestroyWindow(hTarget2);
}

// What a ship window holds at the moment it is shown: the pixel in the
// middle of the target's place and the captured picture's, and the box of
// its window region against the target's place.
struct ShownShip {
    decltype(&::ShowWindow) pfnReal = nullptr;
    int nShows = 0;
    COLORREF inside = CLR_INVALID, captured = CLR_INVALID;
    bool bShapedAsTarget = false;
};
ShownShip g_shown;

BOOL WINAPI WatchShipShow(HWND h, int n) {
    const BOOL bResult = g_shown.pfnReal(h, n);
    char szClass[64] = "";
    if (n != SW_HIDE && ::GetClassNameA(h, szClass, sizeof szClass) &&
        std::string(szClass) == "warp ship window class") {
        ++g_shown.nShows;
        const WarpShip& ship = GetWarpShipState();
        const int x = (ship.rcTarget.left + ship.rcTarget.right) / 2 - ship.nOriginX;
        const int y = (ship.rcTarget.top + ship.rcTarget.bottom) / 2 - ship.nOriginY;
        HDC hdc = ::GetDC(h);
        g_shown.inside = ::GetPixel(hdc, x, y);
        ::ReleaseDC(h, hdc);
        HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
        RECT box = {};
        const RECT want = {ship.rcTarget.left - ship.nOriginX, ship.rcTarget.top - ship.nOriginY,
                           ship.rcTarget.right - ship.nOriginX,
                           ship.rcTarget.bottom - ship.nOriginY};
        g_shown.bShapedAsTarget = ::GetWindowRgn(h, hRgn) == SIMPLEREGION &&
                                  ::GetRgnBox(hRgn, &box) && ::EqualRect(&box, &want);
        ::DeleteObject(hRgn);
        g_shown.captured = ::GetPixel(ship.hImageDC, x + ship.nOriginX - ship.rcTarget.left,
                                      y + ship.nOriginY - ship.rcTarget.top);
    }
    return bResult;
}

// The ship is never seen empty: when it appears it already shows the target's
// picture where the target lies, and nothing beyond it.
TEST_F(WarpShipTest, TheShipAppearsWithThePictureInItAndNothingElse) {
    static const bool bHooked =
        ledger::Patch("user32.dll", "ShowWindow", (void*)&WatchShipShow, (void**)&g_shown.pfnReal);
    ASSERT_TRUE(bHooked);
    g_shown = ShownShip{g_shown.pfnReal};
    const COLORREF kColour = RGB(30, 160, 220);
    HWND hTarget = cloaktest::MakeTarget(100, 300, 400, 300, kColour, "coloured", WS_POPUP);
    cloaktest::PumpFor(100);
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    ASSERT_EQ(StartWarpShip(Instance(), hTarget, &coil, 1), 1);
    EXPECT_EQ(g_shown.nShows, 1);
    EXPECT_EQ(g_shown.captured, kColour);
    EXPECT_EQ(g_shown.inside, kColour);
    EXPECT_TRUE(g_shown.bShapedAsTarget) << "the ship showed beyond the target";
    FinishCoil(coil);
    ::DestroyWindow(hTarget);
}

TEST_F(WarpShipTest, ShipThatCannotBeCreatedReleasesItsCaptureAtOnce) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    {
        RefuseShipWindows refuse;
        EXPECT_EQ(StartWarpShip(Instance(), hTarget, &coil, 1), 0);
    }
    EXPECT_EQ(GetWarpShipState().hShip, nullptr);
    EXPECT_EQ(GetWarpShipState().hImageDC, nullptr);
    EXPECT_EQ(GetWarpShipState().hImage, nullptr);
    EXPECT_EQ(GetWarpShipState().pRunCoil, nullptr) << "the caller is about to delete the coil";
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    EXPECT_FALSE(::IsWindowVisible(coil.GetWindow()));
    EXPECT_TRUE(m_record.regions.empty());
    coil.Destroy();
    DestroyWarpShip(); // still drops the class
    EXPECT_FALSE(ClassExists("warp ship window class"));
    ::DestroyWindow(hTarget);
}

// The 32-bit program is large-address aware: with the address space below
// 2 GB taken, the ship's and the coil's images lie above it (as a section
// made meanwhile shows), and the transition sets the same regions and draws
// the same strips as below it.
TEST_F(WarpShipTest, AboveTwoGigabytesTheTransitionPlaysAsBelowIt) {
    auto play = [&](Record& record) {
        m_record = Record();
        HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
        WarpCoil coil;
        EXPECT_TRUE(MakeCoil(coil, POINT{900, 150}));
        EXPECT_EQ(StartWarpShip(Instance(), hTarget, &coil, 1), 1);
        record = m_record;
        if (coil.IsStarted())
            FinishCoil(coil);
        else
            coil.Destroy();
        DestroyWarpShip();
        ::DestroyWindow(hTarget);
    };
    Record below, above;
    play(below);
    ASSERT_EQ(below.regions.size(), 21u);
    {
        LowMemoryTaken taken;
        ASSERT_GT(taken.Bytes(), 0u);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = 800;
        bi.bmiHeader.biHeight = 450;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* pBits = nullptr;
        HBITMAP hProbe = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
        EXPECT_TRUE(LowMemoryTaken::Above(pBits)) << pBits;
        ::DeleteObject(hProbe);
        play(above);
    }
    ASSERT_EQ(above.regions.size(), below.regions.size());
    for (size_t i = 0; i < below.regions.size(); ++i) {
        EXPECT_PRED2(Same, above.regions[i].pts, below.regions[i].pts) << "region " << i;
        EXPECT_TRUE(above.regions[i].bHeld) << "region " << i;
    }
    EXPECT_EQ(above.blits, below.blits);
}

DWORD WINAPI HungTargetThread(LPVOID pParam) {
    HWND* phWnd = static_cast<HWND*>(pParam);
    *phWnd = CreateTargetWindow(RECT{100, 100, 300, 300}, "hung");
    ::Sleep(4000); // answers nothing from here on
    ::DestroyWindow(*phWnd);
    return 0;
}

TEST_F(WarpShipTest, TargetThatDoesNotAnswerIsSkippedWithinTheTimeLimit) {
    HWND hHung = nullptr;
    HANDLE hThread = ::CreateThread(nullptr, 0, HungTargetThread, &hHung, 0, nullptr);
    while (!hHung)
        ::Sleep(5);
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    const DWORD dwStart = ::GetTickCount();
    EXPECT_EQ(StartWarpShip(Instance(), hHung, &coil, 1), 0);
    EXPECT_LE(::GetTickCount() - dwStart, kWarpTargetTimeoutMs + 500);
    EXPECT_FALSE(ClassExists("warp ship window class"));
    coil.Destroy();
    ::WaitForSingleObject(hThread, INFINITE);
    ::CloseHandle(hThread);
}

// Busy from its start, then answering again: the system counts a thread that
// has not looked at its messages for 5 s as hung, but this one answers within
// the time limit.
DWORD WINAPI LateTargetThread(LPVOID pParam) {
    HWND* phWnd = static_cast<HWND*>(pParam);
    HWND hWnd = CreateTargetWindow(RECT{100, 100, 300, 300}, "late");
    *phWnd = hWnd;
    ::Sleep(6000);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&msg);
    ::DestroyWindow(hWnd);
    return 0;
}

TEST_F(WarpShipTest, TargetThatAnswersLateWithinTheTimeLimitIsWarped) {
    HWND hLate = nullptr;
    DWORD dwThreadId = 0;
    HANDLE hThread = ::CreateThread(nullptr, 0, LateTargetThread, &hLate, 0, &dwThreadId);
    while (!hLate)
        ::Sleep(5);
    WarpCoil coil;
    ASSERT_TRUE(MakeCoil(coil, POINT{900, 150}));
    ::Sleep(5400); // past the 5 s after which it counts as hung
    EXPECT_EQ(StartWarpShip(Instance(), hLate, &coil, 1), 1);
    for (int i = 0; i < 300 && !::IsIconic(hLate); ++i)
        ::Sleep(10);
    EXPECT_TRUE(::IsIconic(hLate));
    if (coil.IsStarted())
        FinishCoil(coil);
    else
        coil.Destroy();
    ::PostThreadMessageA(dwThreadId, WM_QUIT, 0, 0);
    ::WaitForSingleObject(hThread, INFINITE);
    ::CloseHandle(hThread);
}

TEST(StretchQuadStrips, MapsSourceRowsOntoStripsAndNeverReadsPastTheImage) {
    HDC hScreen = ::GetDC(nullptr);
    HDC hSrc = ::CreateCompatibleDC(hScreen);
    HDC hDst = ::CreateCompatibleDC(hScreen);
    HBITMAP hSrcBmp = ::CreateCompatibleBitmap(hScreen, 10, 7);
    HBITMAP hDstBmp = ::CreateCompatibleBitmap(hScreen, 10, 12);
    HGDIOBJ hOldSrc = ::SelectObject(hSrc, hSrcBmp);
    HGDIOBJ hOldDst = ::SelectObject(hDst, hDstBmp);
    for (int y = 0; y < 7; ++y) {
        RECT row = {0, y, 10, y + 1};
        HBRUSH hBrush = ::CreateSolidBrush(RGB(y * 30, 255 - y * 30, 7));
        ::FillRect(hSrc, &row, hBrush);
        ::DeleteObject(hBrush);
    }
    RECT all = {0, 0, 10, 12};
    ::FillRect(hDst, &all, (HBRUSH)::GetStockObject(WHITE_BRUSH));
    MorphQuad q = {{{0, 0}, {10, 0}, {0, 7}, {10, 7}}};
    EXPECT_EQ(StretchQuadStrips(hDst, q, hSrc, 0, 0, 10, 7, SRCCOPY), 0);
    // Three strips: rows 0-2 from source row 0, 3-5 from 3, 6-8 from 6.
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; x += 3)
            EXPECT_EQ(::GetPixel(hDst, x, y), RGB((y / 3 * 3) * 30, 255 - (y / 3 * 3) * 30, 7))
                << x << "," << y;
    EXPECT_EQ(::GetPixel(hDst, 0, 9), RGB(255, 255, 255));

    // An empty band names the row just below the image: nothing is drawn.
    ::FillRect(hDst, &all, (HBRUSH)::GetStockObject(WHITE_BRUSH));
    StretchQuadStrips(hDst, q, hSrc, 0, 7, 10, 0, SRCCOPY);
    for (int y = 0; y < 12; ++y)
        EXPECT_EQ(::GetPixel(hDst, 5, y), RGB(255, 255, 255)) << y;
    // No height: nothing drawn either.
    MorphQuad flat = {{{0, 5}, {10, 5}, {0, 5}, {10, 5}}};
    StretchQuadStrips(hDst, flat, hSrc, 0, 0, 10, 7, SRCCOPY);
    EXPECT_EQ(::GetPixel(hDst, 5, 5), RGB(255, 255, 255));

    ::SelectObject(hSrc, hOldSrc);
    ::SelectObject(hDst, hOldDst);
    ::DeleteObject(hSrcBmp);
    ::DeleteObject(hDstBmp);
    ::DeleteDC(hSrc);
    ::DeleteDC(hDst);
    ::ReleaseDC(nullptr, hScreen);
}

} // namespace
