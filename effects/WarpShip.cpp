#include "effects/WarpShip.h"

#include "app/Messages.h"
#include "framework/AfxWin.h"
#include "effects/Capture.h"
#include "effects/MorphSequence.h"
#include "effects/WarpCoil.h"
#include "windowlist/DesktopFacts.h"

namespace {

const char kShipClass[] = "warp ship window class";
WarpShip g_ship = {};
WarpShipObserver g_observer = {};

Point32 ToPoint32(POINT p) {
    return Point32{p.x, p.y};
}

Rect32 ToRect32(const RECT& r) {
    return Rect32{r.left, r.top, r.right, r.bottom};
}

struct BlitTarget {
    HDC hdcDst;
    HDC hdcSrc;
    DWORD dwRop;
};

void BlitStrip(void* pCtx, int xDst, int yDst, int cxDst, int cyDst, int xSrc, int ySrc, int cxSrc,
               int cySrc) {
    const BlitTarget* t = static_cast<const BlitTarget*>(pCtx);
    ::StretchBlt(t->hdcDst, xDst, yDst, cxDst, cyDst, t->hdcSrc, xSrc, ySrc, cxSrc, cySrc,
                 t->dwRop);
}

int SourceRows(HDC hdcSrc) {
    BITMAP bm = {};
    HGDIOBJ hBitmap = ::GetCurrentObject(hdcSrc, OBJ_BITMAP);
    if (!hBitmap || !::GetObjectA(hBitmap, sizeof bm, &bm))
        return 0;
    return bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
}

int DrawStrips(HDC hdcDst, const MorphQuad& q, HDC hdcSrc, int xs, int ys, int ws, int hs,
               DWORD dwRop) {
    BlitTarget target = {hdcDst, hdcSrc, dwRop};
    return StretchQuadStripsPlan(q, xs, ys, ws, hs, SourceRows(hdcSrc), BlitStrip, &target);
}

BOOL RegisterShipClass(HINSTANCE hInstance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WarpShipWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = ::LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = kShipClass;
    return ::RegisterClassA(&wc) != 0;
}

void SetShipRegion(HWND hShip, const MorphOp& op) {
    POINT pts[4];
    for (int i = 0; i < op.nPoints; ++i)
        pts[i] = POINT{op.points[i].x, op.points[i].y};
    // The region belongs to the window from here on.
    ::SetWindowRgn(hShip, ::CreatePolygonRgn(pts, op.nPoints, ALTERNATE), TRUE);
    ++g_ship.nRegions;
    if (g_observer.pfnRegion)
        g_observer.pfnRegion(g_observer.pUser, hShip, pts, op.nPoints);
}

// Plays the morph: the region and draw list of the sequence, in order.
void RunMorph(HWND hShip, BOOL bFirst, WarpCoil* pCoil) {
    HDC hShipDC = ::GetDC(hShip);
    const Point32 P = ToPoint32(pCoil->GetCentre());
    MorphSequence seq;
    BuildMorphSequence(seq, P, ToRect32(g_ship.rcTarget), bFirst != FALSE, g_ship.nHeight);
    for (int i = 0; i < seq.nOps; ++i) {
        const MorphOp& op = seq.ops[i];
        if (op.kind == MorphOpKind::SetRegion) {
            SetShipRegion(hShip, op);
            continue;
        }
        const int nBlits = DrawStrips(hShipDC, op.quad, g_ship.hImageDC, 0, op.srcRow,
                                      g_ship.nWidth, op.bandHeight, SRCCOPY);
        if (g_observer.pfnDraw)
            g_observer.pfnDraw(g_observer.pUser, nBlits);
        // The pause answers sends: the running coils' windows belong to this
        // thread, which their animation threads may need on Windows.
        if (op.sleepAfter)
            AfxWaitAnsweringSentMessages(nullptr, kMorphSleepMs);
    }
    ::ReleaseDC(hShip, hShipDC);
    pCoil->Start();
    ::ShowWindow(hShip, SW_HIDE);
}

// Brings the target to the front and waits until its thread has answered,
// so that the capture shows it fully painted. A target that does not answer
// within the time limit is left alone; one the system keeps this program from
// could be captured but never hidden, so no ship flies with its picture, but
// it still leaves the screen as the user asked.
BOOL PrepareTarget(HWND hTarget) {
    ::SetForegroundWindow(hTarget);
    ::InvalidateRect(hTarget, nullptr, FALSE);
    // The time limit alone decides, as for the cloak: a program that counts as
    // hung (nothing looked at for 5 s) may answer at once, and under Wine an
    // idle one just raised was seen to count as hung.
    const TargetReply reply = AskTarget(hTarget, kWarpTargetTimeoutMs);
    if (reply == kTargetRefuses)
        MinimiseThroughWindowMenu(hTarget);
    if (reply != kTargetAnswers)
        return FALSE;
    ::GdiFlush();
    return TRUE;
}

// Copies the target as it shows on screen, over its visible frame, into the
// ship's image. FALSE, with nothing kept, when the frame or the picture
// cannot be read: a ship never flies pixels nobody drew.
BOOL CaptureTarget(HWND hTarget, Point32 P) {
    RECT rcFrame;
    if (!GetVisibleFrame(hTarget, &rcFrame) || rcFrame.right <= rcFrame.left ||
        rcFrame.bottom <= rcFrame.top)
        return FALSE;
    g_ship.rcTarget = rcFrame;
    Rect32 ship;
    UnionRectPoint(ship, P, ToRect32(g_ship.rcTarget));
    g_ship.rcShip = RECT{ship.left, ship.top, ship.right, ship.bottom};
    g_ship.nWidth = g_ship.rcTarget.right - g_ship.rcTarget.left;
    g_ship.nHeight = g_ship.rcTarget.bottom - g_ship.rcTarget.top;
    HDC hScreen = ::GetDC(nullptr);
    if (!hScreen)
        return FALSE;
    g_ship.hImageDC = ::CreateCompatibleDC(hScreen);
    g_ship.hImage = ::CreateCompatibleBitmap(hScreen, g_ship.nWidth, g_ship.nHeight);
    ::ReleaseDC(nullptr, hScreen);
    if (!g_ship.hImageDC || !g_ship.hImage) {
        ReleaseWarpShipImages();
        return FALSE;
    }
    g_ship.hOldImage = ::SelectObject(g_ship.hImageDC, g_ship.hImage);
    ForceForegroundWindow(hTarget);
    if (CopyTargetPicture(hTarget, g_ship.rcTarget, g_ship.hImageDC))
        return TRUE;
    ReleaseWarpShipImages();
    return FALSE;
}

// Until the morph begins the ship is the target's picture where the target
// lies, nothing elsewhere: that region goes in before the ship is shown (it
// is not one of the morph's), and the picture is drawn whenever the system
// has the ship's background erased, which it does as the ship is shown.
void ShapeShipAsTarget(HWND hShip) {
    ::SetWindowRgn(hShip,
                   ::CreateRectRgn(g_ship.rcTarget.left - g_ship.nOriginX,
                                   g_ship.rcTarget.top - g_ship.nOriginY,
                                   g_ship.rcTarget.right - g_ship.nOriginX,
                                   g_ship.rcTarget.bottom - g_ship.nOriginY),
                   FALSE);
}

void DrawShipPicture(HDC hdc) {
    ::BitBlt(hdc, g_ship.rcTarget.left - g_ship.nOriginX, g_ship.rcTarget.top - g_ship.nOriginY,
             g_ship.nWidth, g_ship.nHeight, g_ship.hImageDC, 0, 0, SRCCOPY);
}

} // namespace

int StretchQuadStrips(HDC hdcDst, const MorphQuad& q, HDC hdcSrc, int xs, int ys, int ws, int hs,
                      DWORD dwRop) {
    DrawStrips(hdcDst, q, hdcSrc, xs, ys, ws, hs, dwRop);
    return 0;
}

int StartWarpShip(HINSTANCE hInstance, HWND hTarget, WarpCoil* pCoil, int nFirst) {
    // The ship is made, and flies, in the pixels of the target and the coil.
    CPhysicalPixels physical;
    if (!PrepareTarget(hTarget))
        return 0;
    const Point32 P = ToPoint32(pCoil->GetCentre());
    g_ship.hClassInstance = hInstance;
    if (!RegisterShipClass(hInstance) || !CaptureTarget(hTarget, P))
        return 0;
    g_ship.nOriginX = g_ship.rcShip.left;
    g_ship.nOriginY = g_ship.rcShip.top;
    HWND hShip = ::CreateWindowExA(
        WS_EX_TOPMOST, kShipClass, "engage!", WS_POPUP, g_ship.rcShip.left, g_ship.rcShip.top,
        g_ship.rcShip.right - g_ship.rcShip.left, g_ship.rcShip.bottom - g_ship.rcShip.top, nullptr,
        nullptr, hInstance, nullptr);
    g_ship.hShip = hShip;
    if (!hShip) {
        // Nothing else would ever release the capture.
        ReleaseWarpShipImages();
        return 0;
    }
    ShapeShipAsTarget(hShip);
    // Only now: a start that fails leaves nothing pointing at the coil, which
    // its caller then deletes. From here until the morph begins the ship
    // shows the picture.
    g_ship.pRunCoil = pCoil;
    ::ShowWindow(hShip, SW_SHOW);
    ::UpdateWindow(hShip);
    // The worker's wait, not the dialog's: it holds the coil lock meanwhile,
    // as for the morph itself.
    if (!HideAndMinimiseTarget(hTarget)) {
        // The target stayed where it was: no ship flies off with its picture.
        DestroyWarpShip();
        return 0;
    }
    ::SendMessageA(hShip, UM_WARP_SHIP_RUN, (WPARAM)nFirst, (LPARAM)pCoil);
    return 1;
}

LRESULT CALLBACK WarpShipWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        g_ship.nRegions = 0;
    else if (message == WM_ERASEBKGND && hWnd == g_ship.hShip && g_ship.pRunCoil) {
        DrawShipPicture(reinterpret_cast<HDC>(wParam));
        return 1;
    } else if (message == UM_WARP_SHIP_RUN && g_ship.pRunCoil && hWnd == g_ship.hShip &&
               lParam == reinterpret_cast<LPARAM>(g_ship.pRunCoil)) {
        WarpCoil* pCoil = g_ship.pRunCoil;
        g_ship.pRunCoil = nullptr;
        RunMorph(hWnd, (BOOL)wParam, pCoil);
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

void ReleaseWarpShipImages() {
    if (g_ship.hImageDC) {
        ::SelectObject(g_ship.hImageDC, g_ship.hOldImage);
        ::DeleteDC(g_ship.hImageDC);
    }
    if (g_ship.hImage)
        ::DeleteObject(g_ship.hImage);
    g_ship.hImageDC = nullptr;
    g_ship.hImage = nullptr;
    g_ship.hOldImage = nullptr;
}

void DestroyWarpShip() {
    if (g_ship.hShip) {
        // Only the creating thread may change or destroy the window; once that
        // thread has ended the window is gone with it.
        const BOOL bOwn = AfxIsWindowOfThisThread(g_ship.hShip);
        if (g_ship.nRegions > 0 && bOwn)
            ::SetWindowRgn(g_ship.hShip, nullptr, TRUE);
        ReleaseWarpShipImages();
        if (bOwn)
            ::DestroyWindow(g_ship.hShip);
        g_ship.hShip = nullptr;
    }
    // The coil of a run that never began is deleted by its owner next.
    g_ship.pRunCoil = nullptr;
    if (g_ship.hClassInstance) {
        ::UnregisterClassA(kShipClass, g_ship.hClassInstance);
        g_ship.hClassInstance = nullptr;
    }
}

void SetWarpShipObserver(const WarpShipObserver* pObserver) {
    g_observer = pObserver ? *pObserver : WarpShipObserver{};
}

const WarpShip& GetWarpShipState() {
    return g_ship;
}
