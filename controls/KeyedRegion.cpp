#include "controls/KeyedRegion.h"

#include "controls/KeyedRegionScan.h"

namespace {

// Unites one rectangle a run into an empty region. NULL if a piece cannot be
// made: a partial shape would be worse than none.
HRGN UniteRects(const RectBlock& block) {
    HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
    if (!hRgn)
        return nullptr;
    const Rect32* pRects = block.Rects();
    for (uint32_t i = 0; i < block.Count(); ++i) {
        const Rect32& r = pRects[i];
        HRGN hPiece = ::CreateRectRgn(r.left, r.top, r.right, r.bottom);
        if (!hPiece) {
            ::DeleteObject(hRgn);
            return nullptr;
        }
        ::CombineRgn(hRgn, hRgn, hPiece, RGN_OR);
        ::DeleteObject(hPiece);
    }
    return hRgn;
}

} // namespace

HRGN CreateKeyedRegion(HWND hWnd, HBITMAP hBitmap, COLORREF crKey) {
    if (!hBitmap)
        return nullptr;
    BITMAP bm = {};
    if (!::GetObjectA(hBitmap, sizeof bm, &bm))
        return nullptr;

    HDC hWndDC = ::GetDC(hWnd);
    HDC hMemDC = ::CreateCompatibleDC(hWndDC);
    ::ReleaseDC(hWnd, hWndDC);
    if (!hMemDC)
        return nullptr;
    HGDIOBJ hOld = ::SelectObject(hMemDC, hBitmap);

    RectBlock block;
    auto read = [hMemDC](int32_t x, int32_t y) -> uint32_t {
        return (uint32_t)::GetPixel(hMemDC, x, y);
    };
    HRGN hRgn = nullptr;
    if (hOld && ScanKeyedRuns(bm.bmWidth, bm.bmHeight, (uint32_t)crKey, read, block))
        hRgn = UniteRects(block);
    block.Free();

    if (hOld)
        ::SelectObject(hMemDC, hOld);
    ::DeleteDC(hMemDC);
    return hRgn;
}
