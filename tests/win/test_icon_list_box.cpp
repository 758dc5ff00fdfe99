// The icon list box on a real list box control: item records, measuring,
// drawing colours, the scroll bar rule and the double-click filter.
#include "controls/IconListBox.h"
#include "framework/AfxSystemDll.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

// Live item records of this program, told apart by their size, to see
// that the list frees them.
static std::atomic<long> g_nLiveRecords{0};

namespace {
const size_t kHeader = 16; // keeps the block aligned
}

void* operator new(size_t n) {
    char* p = static_cast<char*>(std::malloc(n + kHeader));
    if (!p)
        throw std::bad_alloc();
    *reinterpret_cast<size_t*>(p) = n;
    if (n == sizeof(IconItemData))
        ++g_nLiveRecords;
    return p + kHeader;
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (...) {
        return nullptr;
    }
}
static void FreeTracked(void* p) {
    if (!p)
        return;
    char* pBlock = static_cast<char*>(p) - kHeader;
    if (*reinterpret_cast<size_t*>(pBlock) == sizeof(IconItemData))
        --g_nLiveRecords;
    std::free(pBlock);
}
void operator delete(void* p) noexcept {
    FreeTracked(p);
}
void operator delete(void* p, size_t) noexcept {
    FreeTracked(p);
}

namespace {

const int kListId = 1002;
const DWORD kListStyle = WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_OWNERDRAWVARIABLE |
                         LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL;

// A parent that passes owner-draw messages to the list and counts the
// double-clicks that reach it.
class CTestParent : public CWnd {
  public:
    int m_nDblClk = 0;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        BOOL bHandled = CWnd::OnCommand(wParam, lParam);
        if (!bHandled && HIWORD(wParam) == LBN_DBLCLK)
            ++m_nDblClk;
        return bHandled;
    }
};

class CTestList : public CIconListBox {
  public:
    BOOL FlatInitialised() const { return m_bFlatSB; }
    BYTE SelStyle() const { return m_nSelStyle; }
    // What the system puts in the request's width is not to be relied on.
    void MeasureItem(LPMEASUREITEMSTRUCT lpMIS) override {
        lpMIS->itemWidth = 1;
        CIconListBox::MeasureItem(lpMIS);
    }
};

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class IconListBox : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "IconListTestParent";
        RegisterClassA(&wc);
        HWND hParent = CreateWindowExA(0, wc.lpszClassName, "parent", WS_POPUP, 50, 50, 400, 300,
                                       nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(hParent);
        // Shown without activation: Wine waits for a window manager when an
        // activated window goes away.
        ShowWindow(hParent, SW_SHOWNOACTIVATE);
        m_parent.SubclassWindow(hParent);
        HWND hList = CreateWindowExA(0, "ListBox", "", kListStyle, 0, 0, 300, 240, hParent,
                                     (HMENU)(INT_PTR)kListId, wc.hInstance, nullptr);
        ASSERT_TRUE(hList);
        m_list.SubclassWindow(hList);
        m_list.m_crBack = 0x000000;
        m_list.m_crHighlight = 0xC8C8C8;
        m_list.m_crText = 0xFFFFFF;
    }
    void TearDown() override {
        if (m_parent.GetSafeHwnd())
            m_parent.DestroyWindow();
        m_images.DeleteImageList();
        UnregisterClassA("IconListTestParent", GetModuleHandleA(nullptr));
    }
    void AttachImages() {
        m_images.Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 100);
        ImageList_ReplaceIcon(m_images, -1, LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION));
        m_list.SetImageList(&m_images);
    }
    int ItemHeight(int i) { return (int)m_list.SendMessage(LB_GETITEMHEIGHT, i, 0); }
    COLORREF PixelAt(int x, int y) {
        m_list.Invalidate();
        UpdateWindow(m_list);
        HDC hDC = GetDC(m_list);
        COLORREF cr = GetPixel(hDC, x, y);
        ReleaseDC(m_list, hDC);
        return cr;
    }
    // A real double-click at the client point, as the list box sees it.
    void DoubleClick(int x, int y) {
        POINT pt = {x, y};
        ClientToScreen(m_list, &pt);
        SetCursorPos(pt.x, pt.y);
        PostMessageA(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageA(m_list, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        Pump();
    }

    CTestParent m_parent;
    CTestList m_list;
    CImageList m_images;
};

TEST_F(IconListBox, RecordsFollowTheMask) {
    EXPECT_EQ(m_list.AddItem("first", 7), 0);
    EXPECT_EQ(m_list.AddItem("second", 3), 1);
    IconItemData* p = m_list.GetItemRecord(0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->nImage, 7);
    EXPECT_EQ(p->dwUser1, 0u);
    EXPECT_EQ(p->dwUser2, 0u);
    EXPECT_EQ(p->uFormat, 0u);
    EXPECT_EQ(p->dwState, 0u);

    // Only the fields named in the mask's low byte change.
    EXPECT_NE(m_list.SetItemInfo(0, 11, 22, 99, ITEM_STATE_DISABLED, ITEM_MASK_USER1), LB_ERR);
    EXPECT_EQ(p->dwUser1, 11u);
    EXPECT_EQ(p->dwUser2, 0u);
    EXPECT_EQ(p->nImage, 7);
    EXPECT_TRUE(m_list.IsItemEnabled(0));
    m_list.SetItemInfo(0, 0, 22, 99, ITEM_STATE_DISABLED, 0x100 | ITEM_MASK_STATE);
    EXPECT_EQ(p->dwUser2, 0u);
    EXPECT_EQ(p->nImage, 7);
    EXPECT_FALSE(m_list.IsItemEnabled(0));
    EXPECT_EQ(m_list.GetItemRecord(0), p); // the same record, updated in place
    m_list.SetItemInfo(0, 0, 0, 0, 0, 0xF00);
    EXPECT_FALSE(m_list.IsItemEnabled(0));

    // An index that names no item changes nothing.
    long nBefore = g_nLiveRecords;
    EXPECT_EQ(m_list.SetItemInfo(-1, 1, 1, 1, 1, ITEM_MASK_ALL), LB_ERR);
    EXPECT_EQ(m_list.SetItemInfo(2, 1, 1, 1, 1, ITEM_MASK_ALL), LB_ERR);
    EXPECT_EQ(g_nLiveRecords, nBefore);
    EXPECT_EQ(m_list.GetCount(), 2);

    // An item added behind the list's back has no record: enabled, and
    // SetItemInfo gives it a zero-filled one.
    int n = (int)m_list.SendMessage(LB_ADDSTRING, 0, (LPARAM) "bare");
    EXPECT_EQ(m_list.GetItemRecord(n), nullptr);
    EXPECT_TRUE(m_list.IsItemEnabled(n));
    m_list.SetItemInfo(n, 5, 0, 0, 0, ITEM_MASK_USER1);
    ASSERT_TRUE(m_list.GetItemRecord(n));
    EXPECT_EQ(m_list.GetItemRecord(n)->dwUser1, 5u);
    EXPECT_EQ(m_list.GetItemRecord(n)->nImage, 0);
    EXPECT_TRUE(m_list.IsItemEnabled(99)); // no item: no record
}

TEST_F(IconListBox, RecordsAreFreed) {
    long nBase = g_nLiveRecords;
    for (int i = 0; i < 20; ++i)
        m_list.AddItem("item", i);
    EXPECT_EQ(g_nLiveRecords - nBase, 20);
    m_list.ClearItems();
    EXPECT_EQ(m_list.GetCount(), 0);
    EXPECT_EQ(g_nLiveRecords, nBase);

    m_list.AddItem("a", 0);
    m_list.AddItem("b", 1);
    m_list.FreeItemData(1);
    EXPECT_EQ(m_list.GetItemRecord(1), nullptr);
    EXPECT_EQ(m_list.GetCount(), 2);
    m_list.FreeItemData(5); // no such item: nothing happens
    for (int i = 0; i < 10; ++i)
        m_list.AddItem("more", i);
    // Destroying the window frees what is left.
    m_parent.DestroyWindow();
    EXPECT_EQ(g_nLiveRecords, nBase);
}

TEST_F(IconListBox, ItemHeights) {
    // Without an image list the item is its text plus 4.
    m_list.AddItem("Plain text", 0);
    HDC hDC = GetDC(m_list);
    RECT rc = {0, 0, 300, 0};
    int nLine = DrawTextA(hDC, "Plain text", -1, &rc, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
    ReleaseDC(m_list, hDC);
    EXPECT_EQ(ItemHeight(0), nLine + 4);

    // 32-pixel icons: one line of text gives 40, whatever its words.
    AttachImages();
    m_list.ClearItems();
    m_list.AddItem("Untitled - Notepad", 0);
    m_list.AddItem("x", 0);
    EXPECT_EQ(ItemHeight(0), 40);
    EXPECT_EQ(ItemHeight(1), 40);
    // Very long and non-ASCII titles: wrapped, but never past what an item
    // height can hold.
    std::string strLong(1500, 'w');
    for (size_t i = 7; i < strLong.size(); i += 8)
        strLong[i] = ' ';
    int n = m_list.AddItem(strLong.c_str(), 0);
    EXPECT_GT(ItemHeight(n), 40);
    EXPECT_LE(ItemHeight(n), 255);
    n = m_list.AddItem("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", 0);
    EXPECT_EQ(ItemHeight(n), 40);
}

TEST_F(IconListBox, SelectionStyleAndFlatScrollBar) {
    m_list.SetSelectionStyle(2, TRUE);
    EXPECT_EQ(m_list.SelStyle(), 2);
    m_list.SetSelectionStyle(3, TRUE);
    EXPECT_EQ(m_list.SelStyle(), 2);
    m_list.SetSelectionStyle(255, FALSE);
    EXPECT_EQ(m_list.SelStyle(), 2);
    m_list.SetSelectionStyle(0, FALSE);
    EXPECT_EQ(m_list.SelStyle(), 0);

    AttachImages();
    m_list.InitFlatScrollBar();
    EXPECT_TRUE(m_list.FlatInitialised());
    // 240 pixels of list: 5 items of 40 leave it hidden, 6 show it.
    RECT rc;
    m_list.GetClientRect(&rc);
    ASSERT_EQ(rc.bottom, 240);
    auto barShown = [&] {
        m_list.Invalidate();
        UpdateWindow(m_list);
        return (m_list.GetStyle() & WS_VSCROLL) != 0;
    };
    for (int i = 0; i < 5; ++i)
        m_list.AddItem("row", 0);
    EXPECT_FALSE(barShown());
    m_list.AddItem("row", 0);
    EXPECT_TRUE(barShown());
    int nMin = -1, nMax = -1;
    // Looked up: the i686 import library lacks the flat scroll bar's calls.
    typedef BOOL(WINAPI * PFN_GETRANGE)(HWND, int, LPINT, LPINT);
    auto pfnGetRange = reinterpret_cast<PFN_GETRANGE>(reinterpret_cast<void*>(
        ::GetProcAddress(AfxLoadSystemLibrary("comctl32.dll"), "FlatSB_GetScrollRange")));
    ASSERT_NE(pfnGetRange, nullptr);
    pfnGetRange(m_list, SB_VERT, &nMin, &nMax);
    EXPECT_EQ(nMin, 0);
    EXPECT_EQ(nMax, 5);
    // Emptied, it keeps its last state until an item is drawn again.
    m_list.ClearItems();
    UpdateWindow(m_list);
    EXPECT_TRUE((m_list.GetStyle() & WS_VSCROLL) != 0);
    m_list.AddItem("row", 0);
    EXPECT_FALSE(barShown());
}

TEST_F(IconListBox, ColoursOfSelectedAndDisabledItems) {
    AttachImages();
    for (int i = 0; i < 3; ++i)
        m_list.AddItem("row", 0);
    m_list.SetItemInfo(2, 0, 0, 0, ITEM_STATE_DISABLED, ITEM_MASK_STATE);
    m_list.SendMessage(LB_SETSEL, TRUE, 0);
    m_list.SendMessage(LB_SETSEL, TRUE, 2);
    // Style 0: a selected item is highlighted in both columns (the icon
    // column's margin at x 1); the others and the disabled one stay black.
    EXPECT_EQ(PixelAt(1, 1), 0xC8C8C8u);
    EXPECT_EQ(PixelAt(200, 20), 0xC8C8C8u);
    EXPECT_EQ(PixelAt(1, 41), 0u);
    EXPECT_EQ(PixelAt(200, 60), 0u);
    EXPECT_EQ(PixelAt(1, 81), 0u);
    EXPECT_EQ(PixelAt(200, 100), 0u);
    // Style 1: the icon column keeps the background.
    m_list.SetSelectionStyle(1, TRUE);
    EXPECT_EQ(PixelAt(1, 1), 0u);
    EXPECT_EQ(PixelAt(200, 20), 0xC8C8C8u);
    // Style 2: only the text's bounds; the rest of the column is not painted.
    m_list.SetSelectionStyle(2, TRUE);
    EXPECT_EQ(PixelAt(1, 1), 0u);
}

TEST_F(IconListBox, DoubleClickOnDisabledItemIsKept) {
    AttachImages();
    for (int i = 0; i < 3; ++i)
        m_list.AddItem("row", 0);
    m_list.SetItemInfo(1, 0, 0, 0, ITEM_STATE_DISABLED, ITEM_MASK_STATE);
    DoubleClick(50, 20); // item 0
    EXPECT_EQ(m_parent.m_nDblClk, 1);
    DoubleClick(50, 60); // item 1, disabled
    EXPECT_EQ(m_parent.m_nDblClk, 1);
    DoubleClick(50, 200); // below the last item
    EXPECT_EQ(m_parent.m_nDblClk, 2);
}

} // namespace
