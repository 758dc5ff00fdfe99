// The bitmap button on real button windows: its behaviour kind, check state
// emulation, skin parameters, region ownership and painting.
#include "app/Messages.h"
#include "controls/SkinButton.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// The button's state, as the tests read and set it.
struct CSkinButtonTestAccess {
    static int& Border(CSkinButton& b) { return b.m_bBorder; }
    static BYTE& Checked(CSkinButton& b) { return b.m_bChecked; }
    static BYTE& Hover(CSkinButton& b) { return b.m_bHover; }
    static BOOL& OwnsRgn(CSkinButton& b) { return b.m_bOwnsRgn; }
    static BYTE& Pressed(CSkinButton& b) { return b.m_bPressed; }
    static CBitmap& BmpDisabled(CSkinButton& b) { return b.m_bmpDisabled; }
    static CBitmap& BmpHover(CSkinButton& b) { return b.m_bmpHover; }
    static CBitmap& BmpMask(CSkinButton& b) { return b.m_bmpMask; }
    static CBitmap& BmpPressed(CSkinButton& b) { return b.m_bmpPressed; }
    static COLORREF& Text(CSkinButton& b) { return b.m_crText; }
    static HRGN& Rgn(CSkinButton& b) { return b.m_hRgn; }
    static short& DrawMode(CSkinButton& b) { return b.m_nDrawMode; }
    static short& FocusInset(CSkinButton& b) { return b.m_nFocusInset; }
    static int& Kind(CSkinButton& b) { return b.m_nKind; }
    static CToolTipCtrl& ToolTip(CSkinButton& b) { return b.m_toolTip; }
};

namespace {

using Skin = CSkinButtonTestAccess;

// A visible top-level window that stands for the dialog: owner-drawn
// children paint themselves through it.
class TestParent {
  public:
    TestParent() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "SkinButtonTestParent";
        ::RegisterClassA(&wc);
        HWND h = ::CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "parent", WS_POPUP | WS_VISIBLE,
                                   100, 100, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
        m_wnd.SubclassWindow(h);
    }
    HWND Add(DWORD dwStyle, int x = 10, int y = 10, int cx = 80, int cy = 30) {
        return ::CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | dwStyle, x, y, cx, cy,
                                 m_wnd, (HMENU)(INT_PTR)++m_nNextId, ::GetModuleHandleA(nullptr),
                                 nullptr);
    }
    HWND hwnd() const { return m_wnd; }

  private:
    CWnd m_wnd;
    int m_nNextId = 100;
};

void Pump() {
    MSG msg;
    for (int i = 0; i < 5; ++i) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}

TEST(SkinButton, KindFollowsTheTwoBitTestsAndEveryButtonBecomesOwnerDrawn) {
    TestParent parent;
    struct Case {
        DWORD style;
        int kind;
    } cases[] = {{BS_PUSHBUTTON, 0},      {BS_DEFPUSHBUTTON, 0}, {BS_CHECKBOX, 0},
                 {BS_AUTOCHECKBOX, 2},    {BS_RADIOBUTTON, 0},   {BS_GROUPBOX, 2},
                 {BS_AUTORADIOBUTTON, 4}, {BS_OWNERDRAW, 2},     {BS_3STATE, 0}};
    for (const Case& c : cases) {
        CSkinButton button;
        ASSERT_TRUE(button.SubclassWindow(parent.Add(c.style)));
        EXPECT_EQ(Skin::Kind(button), c.kind) << "style " << c.style;
        EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, (DWORD)BS_OWNERDRAW) << "style " << c.style;
        EXPECT_EQ(button.GetStyle() & WS_VISIBLE, (DWORD)WS_VISIBLE);
    }
}

TEST(SkinButton, ConstructionValues) {
    CSkinButton button;
    EXPECT_EQ(Skin::Checked(button), 0);
    EXPECT_EQ(Skin::Hover(button), 0);
    EXPECT_EQ(Skin::Pressed(button), 0);
    EXPECT_EQ(Skin::FocusInset(button), 0);
    EXPECT_EQ(Skin::DrawMode(button), SKIN_MODE_STRETCH);
    EXPECT_EQ(Skin::Rgn(button), nullptr);
    EXPECT_EQ(Skin::Text(button), ::GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(Skin::ToolTip(button).m_hWnd, nullptr);
}

TEST(SkinButton, CheckStateByKind) {
    TestParent parent;
    CSkinButton push, check;
    push.SubclassWindow(parent.Add(BS_DEFPUSHBUTTON));
    check.SubclassWindow(parent.Add(BS_AUTOCHECKBOX, 100, 10));

    push.SendMessage(BM_SETCHECK, 1);
    EXPECT_EQ(push.SendMessage(BM_GETCHECK), 0) << "a push button never stays checked";
    push.SendMessage(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(push.SendMessage(BM_GETCHECK), 0);

    // Space toggles on every key-down, repeats included.
    check.SendMessage(WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_EQ(check.SendMessage(BM_GETCHECK), 1);
    check.SendMessage(WM_KEYDOWN, VK_SPACE, 0x40000001);
    EXPECT_EQ(check.SendMessage(BM_GETCHECK), 0);
    check.SendMessage(WM_KEYUP, VK_SPACE, 0xC0000001);
    Pump();

    // A click released over the button toggles it; one released outside not.
    check.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Skin::Pressed(check), 1);
    check.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Skin::Pressed(check), 0);
    EXPECT_EQ(check.SendMessage(BM_GETCHECK), 1);
    check.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    check.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
    EXPECT_EQ(check.SendMessage(BM_GETCHECK), 1);
    // The system button never saw BM_SETCHECK: its own state holds no check.
    EXPECT_EQ(::CallWindowProcA((WNDPROC)::GetClassLongPtrA(check, GCLP_WNDPROC), check,
                                BM_GETSTATE, 0, 0) &
                  BST_CHECKED,
              0);
    Pump();
}

TEST(SkinButton, RadioUnchecksItsGroupThroughPostedMessages) {
    TestParent parent;
    CSkinButton r1, r2, r3, outside;
    r1.SubclassWindow(parent.Add(BS_AUTORADIOBUTTON | WS_GROUP, 10, 10));
    r2.SubclassWindow(parent.Add(BS_AUTORADIOBUTTON, 10, 50));
    r3.SubclassWindow(parent.Add(BS_AUTORADIOBUTTON, 10, 90));
    outside.SubclassWindow(parent.Add(BS_AUTORADIOBUTTON | WS_GROUP, 10, 130));

    outside.SendMessage(BM_SETCHECK, 1);
    r1.SendMessage(BM_SETCHECK, 1);
    Pump();
    EXPECT_EQ(r1.SendMessage(BM_GETCHECK), 1);
    r3.SendMessage(BM_SETCHECK, 1);
    // The others of the group hear of it only through the posted message.
    EXPECT_EQ(r1.SendMessage(BM_GETCHECK), 1);
    Pump();
    EXPECT_EQ(r1.SendMessage(BM_GETCHECK), 0);
    EXPECT_EQ(r2.SendMessage(BM_GETCHECK), 0);
    EXPECT_EQ(r3.SendMessage(BM_GETCHECK), 1);
    EXPECT_EQ(outside.SendMessage(BM_GETCHECK), 1) << "another group is left alone";

    // A hidden or disabled radio is skipped by the group walk; checking it
    // must still end (and uncheck the rest).
    r2.EnableWindow(FALSE);
    r2.SendMessage(BM_SETCHECK, 1);
    Pump();
    EXPECT_EQ(r2.SendMessage(BM_GETCHECK), 1);
    EXPECT_EQ(r3.SendMessage(BM_GETCHECK), 0);

    // Unchecking sends nothing to the group.
    r1.SendMessage(BM_SETCHECK, 1);
    Pump();
    r1.SendMessage(BM_SETCHECK, 0);
    r3.SendMessage(BM_SETCHECK, 1);
    Pump();
    EXPECT_EQ(r1.SendMessage(BM_GETCHECK), 0);
}

TEST(SkinButton, SetSkinClampsAndResizesInActualMode) {
    TestParent parent;
    CSkinButton button;
    button.SubclassWindow(parent.Add(BS_PUSHBUTTON, 30, 40, 66, 40));

    button.SetSkin(IDB_ENGAGE_NORMAL, IDB_ENGAGE_PRESSED, 0, 0, 0, 0, 5, 1, -3);
    EXPECT_EQ(Skin::DrawMode(button), SKIN_MODE_TILE);
    EXPECT_EQ(Skin::FocusInset(button), 0);
    EXPECT_EQ(Skin::Border(button), 1);
    EXPECT_EQ(Skin::Rgn(button), nullptr) << "no mask, no region";
    EXPECT_NE(Skin::BmpDisabled(button).GetSafeHandle(), nullptr)
        << "disabled falls back to normal";
    EXPECT_EQ(Skin::BmpHover(button).GetSafeHandle(), nullptr);

    button.SetSkin(IDB_ENGAGE_NORMAL, IDB_ENGAGE_PRESSED, 0, 0, 0, IDB_BUTTON_MASK, -1, -1, 4);
    EXPECT_EQ(Skin::DrawMode(button), SKIN_MODE_ACTUAL);
    EXPECT_EQ(Skin::Border(button), -1) << "sign-extended";
    EXPECT_EQ(Skin::FocusInset(button), 4);
    RECT rc;
    ::GetWindowRect(button, &rc);
    ::MapWindowPoints(nullptr, parent.hwnd(), (POINT*)&rc, 2);
    EXPECT_EQ(rc.left, 30);
    EXPECT_EQ(rc.top, 40);
    EXPECT_EQ(rc.right - rc.left, 128);
    EXPECT_EQ(rc.bottom - rc.top, 64);
    HRGN hCopy = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(button, hCopy), SIMPLEREGION);
    ::DeleteObject(hCopy);

    // Stretch mode keeps the window's size.
    CSkinButton small;
    small.SubclassWindow(parent.Add(BS_PUSHBUTTON, 200, 40, 57, 33));
    small.SetSkin(IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED, 0, 0, 0, IDB_BUTTON_MASK, 1, 0, 0);
    ::GetWindowRect(small, &rc);
    EXPECT_EQ(rc.right - rc.left, 57);
    EXPECT_EQ(rc.bottom - rc.top, 33);

    // A mask that cannot be loaded leaves region and size alone.
    button.SetSkin(IDB_ENGAGE_NORMAL, 0, 0, 0, 0, 9999, 0, 0, 0);
    EXPECT_EQ(Skin::BmpMask(button).GetSafeHandle(), nullptr);
    EXPECT_EQ(Skin::BmpPressed(button).GetSafeHandle(), nullptr);
    hCopy = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(button, hCopy), SIMPLEREGION);
    ::DeleteObject(hCopy);
}

TEST(SkinButton, RegionHandedToTheWindowIsNeverDeletedByTheButton) {
    TestParent parent;
    auto button = std::make_unique<CSkinButton>();
    button->SubclassWindow(parent.Add(BS_PUSHBUTTON));
    button->SetSkin(IDB_ENGAGE_NORMAL, 0, 0, 0, 0, IDB_BUTTON_MASK, 0, 0, 0);
    HRGN hHanded = Skin::Rgn(*button);
    ASSERT_NE(hHanded, nullptr);
    EXPECT_FALSE(Skin::OwnsRgn(*button));
    // Let the object go while its window lives on: the window still has its
    // region afterwards.
    HWND hWnd = button->Detach();
    button.reset();
    HRGN hCopy = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(hWnd, hCopy), SIMPLEREGION);
    ::DeleteObject(hCopy);
    ::DestroyWindow(hWnd);

    // Without a window the region stays the button's, and it is deleted
    // when it is replaced and when the button goes.
    auto loose = std::make_unique<CSkinButton>();
    loose->SetSkin(IDB_ENGAGE_NORMAL, 0, 0, 0, 0, IDB_BUTTON_MASK, 0, 0, 0);
    HRGN hHeld = Skin::Rgn(*loose);
    ASSERT_NE(hHeld, nullptr);
    EXPECT_TRUE(Skin::OwnsRgn(*loose));
    EXPECT_EQ(::GetObjectType(hHeld), (DWORD)OBJ_REGION);
    loose->SetSkin(IDB_ENGAGE_NORMAL, 0, 0, 0, 0, IDB_BUTTON_MASK, 0, 0, 0);
    EXPECT_EQ(::GetObjectType(hHeld), 0u);
    hHeld = Skin::Rgn(*loose);
    loose.reset();
    EXPECT_EQ(::GetObjectType(hHeld), 0u);
}

// Paints into a true-colour memory DC prefilled with a background colour.
class PaintProbe {
  public:
    PaintProbe(int w, int h, COLORREF crBack) : m_w(w), m_h(h) {
        HDC hScreen = ::GetDC(nullptr);
        m_hDC = ::CreateCompatibleDC(hScreen);
        m_hBmp = ::CreateCompatibleBitmap(hScreen, w, h);
        ::ReleaseDC(nullptr, hScreen);
        m_hOld = ::SelectObject(m_hDC, m_hBmp);
        RECT rc = {0, 0, w, h};
        HBRUSH hBr = ::CreateSolidBrush(crBack);
        ::FillRect(m_hDC, &rc, hBr);
        ::DeleteObject(hBr);
    }
    ~PaintProbe() {
        ::SelectObject(m_hDC, m_hOld);
        ::DeleteObject(m_hBmp);
        ::DeleteDC(m_hDC);
    }
    void Draw(CSkinButton& button, UINT nState) {
        DRAWITEMSTRUCT dis = {};
        dis.CtlType = ODT_BUTTON;
        dis.hwndItem = button;
        dis.hDC = m_hDC;
        dis.itemState = nState;
        dis.rcItem = {0, 0, m_w, m_h};
        button.DrawItem(&dis);
    }
    COLORREF At(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

  private:
    int m_w, m_h;
    HDC m_hDC;
    HBITMAP m_hBmp;
    HGDIOBJ m_hOld;
};

COLORREF BitmapPixel(UINT id, int x, int y) {
    CBitmap bmp;
    bmp.LoadBitmap(id);
    HDC hScreen = ::GetDC(nullptr);
    HDC hDC = ::CreateCompatibleDC(hScreen);
    ::ReleaseDC(nullptr, hScreen);
    HGDIOBJ hOld = ::SelectObject(hDC, bmp);
    COLORREF c = ::GetPixel(hDC, x, y);
    ::SelectObject(hDC, hOld);
    ::DeleteDC(hDC);
    return c;
}

bool Near(COLORREF a, COLORREF b, int tol) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tol &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tol &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tol;
}

TEST(SkinButton, PaintsThePictureOfEachStateThroughTheMask) {
    TestParent parent;
    CSkinButton button;
    button.SubclassWindow(parent.Add(BS_PUSHBUTTON));
    button.SetSkin(IDB_ENGAGE_NORMAL, IDB_ENGAGE_PRESSED, 0, 0, 0, IDB_BUTTON_MASK, 0, 0, 0);
    const COLORREF crNormal = BitmapPixel(IDB_ENGAGE_NORMAL, 20, 32);
    const COLORREF crPressed = BitmapPixel(IDB_ENGAGE_PRESSED, 20, 32);
    ASSERT_NE(crNormal, crPressed);
    const COLORREF crBack = RGB(0, 0, 200);

    struct Case {
        UINT nState;
        BYTE bChecked;
        COLORREF crExpected;
    } cases[] = {{0, 0, crNormal},
                 {ODS_FOCUS, 0, crNormal},
                 {ODS_SELECTED, 0, crPressed},
                 {0, 1, crPressed},
                 {ODS_DISABLED | ODS_SELECTED, 1, crNormal}};
    for (const Case& c : cases) {
        PaintProbe probe(128, 64, crBack);
        Skin::Checked(button) = c.bChecked;
        probe.Draw(button, c.nState);
        // Inside the rounded rectangle the picture shows (up to the mask's
        // low bits); in the corner the background does.
        EXPECT_TRUE(Near(probe.At(20, 32), c.crExpected, 4))
            << "state " << c.nState << " got " << std::hex << probe.At(20, 32);
        EXPECT_TRUE(Near(probe.At(0, 0), crBack, 4)) << "corner " << std::hex << probe.At(0, 0);
    }
    Skin::Checked(button) = 0;

    // No pictures at all: the face colour.
    CSkinButton bare;
    bare.SubclassWindow(parent.Add(BS_PUSHBUTTON, 100, 10));
    PaintProbe probe(40, 20, crBack);
    probe.Draw(bare, 0);
    EXPECT_EQ(probe.At(1, 1), ::GetSysColor(COLOR_BTNFACE));
}

TEST(SkinButton, TileModeRepeatsThePictureWithoutTheMask) {
    TestParent parent;
    CSkinButton button;
    button.SubclassWindow(parent.Add(BS_PUSHBUTTON));
    button.SetSkin(IDB_ENGAGE_NORMAL, 0, 0, 0, 0, IDB_BUTTON_MASK, 2, 0, 0);
    PaintProbe probe(300, 150, RGB(0, 0, 200));
    probe.Draw(button, 0);
    // Whole tiles and the clipped ones along the right and bottom edges.
    for (int y = 0; y < 150; y += 7)
        for (int x = 0; x < 300; x += 13)
            ASSERT_EQ(probe.At(x, y), BitmapPixel(IDB_ENGAGE_NORMAL, x % 128, y % 64))
                << x << "," << y;
    EXPECT_EQ(probe.At(299, 149), BitmapPixel(IDB_ENGAGE_NORMAL, 299 - 256, 149 - 128));
}

TEST(SkinButton, HoverTrackingAndLeave) {
    TestParent parent;
    CSkinButton button;
    button.SubclassWindow(parent.Add(BS_PUSHBUTTON));
    button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Skin::Hover(button), 1);
    button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Skin::Hover(button), 0) << "a press ends hovering";
    EXPECT_EQ(Skin::Pressed(button), 1);
    EXPECT_EQ(::GetCapture(), button.m_hWnd);
    button.SendMessage(WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(Skin::Pressed(button), 0) << "losing the focus while captured ends the press";
    EXPECT_NE(::GetCapture(), button.m_hWnd);
    button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Skin::Hover(button), 1);
    button.SendMessage(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Skin::Hover(button), 0);
    Pump();
}

} // namespace
