// The colour-keyed region against real bitmaps, read through a DC as the
// button reads them.
#include "controls/KeyedRegion.h"
#include "framework/AfxWin.h"
#include "resource.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// A 32-bit DIB section filled by a callable (x, y) -> COLORREF.
template <class Fill> HBITMAP MakeBitmap(int w, int h, Fill fill) {
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hBmp = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (!hBmp)
        return nullptr;
    DWORD* px = static_cast<DWORD*>(pBits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            COLORREF c = fill(x, y);
            px[y * w + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    return hBmp;
}

// NULLREGION when the two regions cover exactly the same pixels.
int Difference(HRGN a, HRGN b) {
    HRGN d = ::CreateRectRgn(0, 0, 0, 0);
    int n = ::CombineRgn(d, a, b, RGN_XOR);
    ::DeleteObject(d);
    return n;
}

int DifferenceFromRect(HRGN hRgn, int l, int t, int r, int b) {
    HRGN hRect = ::CreateRectRgn(l, t, r, b);
    int n = Difference(hRgn, hRect);
    ::DeleteObject(hRect);
    return n;
}

TEST(KeyedRegion, NullAndAllKeyBitmaps) {
    EXPECT_EQ(CreateKeyedRegion(nullptr, nullptr, kWhite), nullptr);

    HBITMAP hAllKey = MakeBitmap(17, 5, [](int, int) { return kWhite; });
    ASSERT_NE(hAllKey, nullptr);
    HRGN hRgn = CreateKeyedRegion(nullptr, hAllKey, kWhite);
    ASSERT_NE(hRgn, nullptr) << "an all-key mask gives an empty region, not NULL";
    RECT rc;
    EXPECT_EQ(::GetRgnBox(hRgn, &rc), NULLREGION);
    ::DeleteObject(hRgn);
    // The bitmap is free again: it was selected back out of the memory DC.
    HDC hDC = ::CreateCompatibleDC(nullptr);
    EXPECT_NE(::SelectObject(hDC, hAllKey), nullptr);
    ::DeleteDC(hDC);
    ::DeleteObject(hAllKey);
}

TEST(KeyedRegion, RunsEdgesAndExactComparison) {
    // Near-white counts as inside; the key only when exact. Column 9 (the
    // last) is inside on row 1 with its left neighbour outside; row 2 ends in
    // the key colour.
    auto fill = [](int x, int y) -> COLORREF {
        if (y == 0)
            return RGB(252, 252, 252);
        if (y == 1)
            return x == 9 || x < 3 ? RGB(4, 4, 4) : kWhite;
        if (y == 2)
            return x < 9 ? RGB(10, 20, 30) : kWhite;
        return kWhite;
    };
    HBITMAP hBmp = MakeBitmap(10, 4, fill);
    HRGN hRgn = CreateKeyedRegion(nullptr, hBmp, kWhite);
    ASSERT_NE(hRgn, nullptr);

    HRGN hExpected = ::CreateRectRgn(0, 0, 10, 1);
    for (RECT r : {RECT{0, 1, 3, 2}, RECT{9, 1, 10, 2}, RECT{0, 2, 9, 3}}) {
        HRGN hPiece = ::CreateRectRgnIndirect(&r);
        ::CombineRgn(hExpected, hExpected, hPiece, RGN_OR);
        ::DeleteObject(hPiece);
    }
    EXPECT_EQ(Difference(hRgn, hExpected), NULLREGION);
    EXPECT_TRUE(::PtInRegion(hRgn, 9, 1));
    EXPECT_FALSE(::PtInRegion(hRgn, 8, 1));
    EXPECT_FALSE(::PtInRegion(hRgn, 9, 2));
    EXPECT_FALSE(::PtInRegion(hRgn, 0, 3));
    ::DeleteObject(hExpected);
    ::DeleteObject(hRgn);

    HBITMAP hOne = MakeBitmap(1, 1, [](int, int) { return RGB(0, 0, 0); });
    hRgn = CreateKeyedRegion(nullptr, hOne, kWhite);
    EXPECT_EQ(DifferenceFromRect(hRgn, 0, 0, 1, 1), NULLREGION);
    ::DeleteObject(hRgn);
    ::DeleteObject(hOne);
    ::DeleteObject(hBmp);
}

// The shipped mask is near-white around a dark rounded rectangle: nothing in
// it is exactly white, so on a true-colour display it yields the whole
// 128 x 64 rectangle.
TEST(KeyedRegion, ShippedButtonMaskIsTheFullRectangleInTrueColour) {
    HDC hScreen = ::GetDC(nullptr);
    int nBits = ::GetDeviceCaps(hScreen, BITSPIXEL);
    ::ReleaseDC(nullptr, hScreen);
    ASSERT_GE(nBits, 24) << "the test display must be true colour";

    CBitmap mask;
    ASSERT_TRUE(mask.LoadBitmap(IDB_BUTTON_MASK));
    BITMAP bm = {};
    mask.GetBitmap(&bm);
    EXPECT_EQ(bm.bmWidth, 128);
    EXPECT_EQ(bm.bmHeight, 64);
    HRGN hRgn = CreateKeyedRegion(nullptr, mask, kWhite);
    ASSERT_NE(hRgn, nullptr);
    EXPECT_EQ(DifferenceFromRect(hRgn, 0, 0, 128, 64), NULLREGION);
    ::DeleteObject(hRgn);
}

} // namespace
