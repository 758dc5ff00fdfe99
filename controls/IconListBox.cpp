#include "controls/IconListBox.h"

#include "controls/IconListLayout.h"
#include "framework/AfxSystemDll.h"

#include <new>

namespace {

// Owner-draw variable items keep their height in a byte.
const UINT kMaxItemHeight = 255;

// The text flags that the measuring and the text bounds share.
const UINT kCalcFlags = DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK;
const UINT kTextFlags = DT_EXPANDTABS | DT_WORDBREAK;

Rect32 ToRect32(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

RECT ToRect(const Rect32& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}

} // namespace

BEGIN_MESSAGE_MAP(CIconListBox, CListBox)
ON_WM_VSCROLL()
ON_WM_DESTROY()
ON_CONTROL_REFLECT_EX(LBN_DBLCLK, OnDblclk)
END_MESSAGE_MAP()

CIconListBox::CIconListBox()
    : m_crBack(::GetSysColor(COLOR_WINDOW)), m_crHighlight(::GetSysColor(COLOR_HIGHLIGHT)),
      m_crText(::GetSysColor(COLOR_WINDOWTEXT)), m_bFlatSB(0), m_nSelStyle(0),
      m_pImageList(nullptr), m_cxIcon(0), m_cyIcon(0) {}

CIconListBox::~CIconListBox() {
    // Destroy the window while this class still handles its WM_DESTROY, so
    // that the records are freed; the base destructor would be too late.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
        DestroyWindow();
}

void CIconListBox::SetImageList(CImageList* pImageList) {
    m_pImageList = pImageList;
    m_cxIcon = m_cyIcon = 0;
    if (pImageList && !::AfxImageList_GetIconSize(*pImageList, &m_cxIcon, &m_cyIcon))
        m_cxIcon = m_cyIcon = 0;
    InvalidateRect(nullptr, TRUE);
}

void CIconListBox::SetSelectionStyle(BYTE nStyle, BOOL bRedraw) {
    if (!IsSelectionStyle(nStyle))
        return;
    m_nSelStyle = nStyle;
    if (bRedraw)
        InvalidateRect(nullptr, TRUE);
}

BOOL CIconListBox::InitFlatScrollBar() {
    ::AfxInitializeFlatSB(m_hWnd);
    ::AfxFlatSB_EnableScrollBar(m_hWnd, SB_VERT, ESB_ENABLE_BOTH);
    ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_CXVSCROLL, 5, FALSE);
    ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_CYVSCROLL, 8, FALSE);
    ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_CYVTHUMB, 20, TRUE);
    ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_VSTYLE, FSB_FLAT_MODE, TRUE);
    ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_VBKGCOLOR, 0, TRUE);
    BOOL bResult = ::AfxFlatSB_SetScrollProp(m_hWnd, WSB_PROP_HBKGCOLOR, 0, TRUE);
    m_bFlatSB = 1;
    return bResult;
}

int CIconListBox::AddItem(LPCSTR lpszText, int nImage) {
    int nIndex = (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)lpszText);
    if (nIndex != LB_ERR && nIndex != LB_ERRSPACE)
        SetItemInfo(nIndex, 0, 0, nImage, 0, ITEM_MASK_ALL);
    return nIndex;
}

IconItemData* CIconListBox::GetItemRecord(int nIndex) const {
    LRESULT data = ::SendMessageA(m_hWnd, LB_GETITEMDATA, (WPARAM)nIndex, 0);
    if (data == LB_ERR)
        return nullptr;
    return reinterpret_cast<IconItemData*>(data);
}

int CIconListBox::SetItemInfo(int nIndex, DWORD dwUser1, DWORD dwUser2, int nImage, DWORD dwState,
                              UINT nMask) {
    if (nIndex < 0 || nIndex >= GetCount())
        return LB_ERR;
    IconItemData* pData = GetItemRecord(nIndex);
    const bool bNew = pData == nullptr;
    if (bNew) {
        pData = new (std::nothrow) IconItemData();
        if (!pData)
            return -1;
    }
    if (nMask & ITEM_MASK_USER1)
        pData->dwUser1 = dwUser1;
    if (nMask & ITEM_MASK_USER2)
        pData->dwUser2 = dwUser2;
    if (nMask & ITEM_MASK_IMAGE)
        pData->nImage = nImage;
    if (nMask & ITEM_MASK_STATE)
        pData->dwState = dwState;
    int nResult = (int)SendMessage(LB_SETITEMDATA, (WPARAM)nIndex, (LPARAM)pData);
    if (nResult == LB_ERR && bNew)
        delete pData; // the list did not take it
    return nResult;
}

void CIconListBox::FreeItemData(int nIndex) {
    LRESULT data = SendMessage(LB_GETITEMDATA, (WPARAM)nIndex, 0);
    if (data == LB_ERR)
        return;
    delete reinterpret_cast<IconItemData*>(data);
    SendMessage(LB_SETITEMDATA, (WPARAM)nIndex, 0);
}

void CIconListBox::FreeAllItemData() {
    for (int i = GetCount() - 1; i >= 0; --i)
        FreeItemData(i);
}

void CIconListBox::ClearItems() {
    FreeAllItemData();
    SendMessage(LB_RESETCONTENT);
}

BOOL CIconListBox::IsItemEnabled(int nIndex) const {
    const IconItemData* pData = GetItemRecord(nIndex);
    return !(pData && (pData->dwState & ITEM_STATE_DISABLED));
}

// ---------------------------------------------------------------------------
// Drawing

// As wide as the icon column and as high as the whole item.
int CIconListBox::DrawIconBackground(int, CDC* pDC, const RECT& rcItem, const RECT& rcIcon, BOOL,
                                     BOOL, COLORREF crBack) {
    pDC->SetBkColor(crBack);
    pDC->FillSolidRect(rcIcon.left, rcIcon.top, rcIcon.right - rcIcon.left,
                       rcItem.bottom - rcItem.top, crBack);
    return 0;
}

int CIconListBox::DrawItemBackground(int, CDC* pDC, const RECT&, const RECT& rcArea, BOOL, BOOL,
                                     COLORREF crBack) {
    pDC->SetBkColor(crBack);
    pDC->FillSolidRect(&rcArea, crBack);
    return 0;
}

int CIconListBox::DrawItemIcon(int, CDC* pDC, const RECT&, const RECT& rcIcon, int nImage,
                               BOOL bDisabled, BOOL) {
    if (!m_pImageList)
        return 0;
    HICON hIcon = ::AfxImageList_GetIcon(*m_pImageList, nImage, ILD_NORMAL);
    if (!hIcon)
        return 0;
    UINT uFlags = DST_ICON | (bDisabled ? DSS_DISABLED : 0);
    ::DrawStateA(*pDC, nullptr, nullptr, (LPARAM)hIcon, 0, rcIcon.left + 3, rcIcon.top + 2,
                 m_cxIcon, m_cyIcon, uFlags);
    ::DestroyIcon(hIcon);
    return 0;
}

void CIconListBox::MeasureItem(LPMEASUREITEMSTRUCT lpMIS) {
    CString strText;
    GetText((int)lpMIS->itemID, strText);
    HDC hDC = ::GetDC(m_hWnd);
    // The request's width is defined for menus only (Wine leaves whatever
    // was on its stack there): measure against the list's own width.
    RECT rcClient = {};
    GetClientRect(&rcClient);
    RECT rc = {0, 0, rcClient.right, (LONG)lpMIS->itemHeight};
    int nTextHeight = hDC ? ::DrawTextA(hDC, strText, -1, &rc, kCalcFlags) : 0;
    if (hDC)
        ::ReleaseDC(m_hWnd, hDC);
    const IconMetrics icons = {m_pImageList != nullptr, m_cxIcon, m_cyIcon};
    UINT nHeight = (UINT)IconItemHeight(nTextHeight, icons);
    lpMIS->itemHeight = nHeight < kMaxItemHeight ? nHeight : kMaxItemHeight;
}

void CIconListBox::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    const int nItem = (int)lpDIS->itemID;
    const IconItemData* pData = GetItemRecord(nItem);
    if (!pData)
        return;
    const BOOL bSelected = (lpDIS->itemState & ODS_SELECTED) != 0;
    const BOOL bFocus = (lpDIS->itemState & ODS_FOCUS) != 0;
    const BOOL bDisabled =
        (lpDIS->itemState & ODS_DISABLED) != 0 || (pData->dwState & ITEM_STATE_DISABLED) != 0;
    CDC* pDC = CDC::FromHandle(lpDIS->hDC);
    const bool bImages = m_pImageList != nullptr;

    // Icon column, text column and the text's own bounds, centred.
    const IconMetrics icons = {bImages, m_cxIcon, m_cyIcon};
    const Rect32 item = ToRect32(lpDIS->rcItem);
    const Rect32 iconCol = IconColumnRect(item, icons);
    const Rect32 textCol = TextColumnRect(item, iconCol);
    CString strText;
    GetText(nItem, strText);
    RECT rcExtent = ToRect(textCol);
    pDC->DrawText(strText, -1, &rcExtent, pData->uFormat | kCalcFlags);
    const Rect32 textRect = CentredTextRect(textCol, ToRect32(rcExtent));

    pDC->SetBkMode(TRANSPARENT);
    const ListColours scheme = {m_crBack, m_crHighlight, m_crText, ::GetSysColor(COLOR_GRAYTEXT)};
    const ItemColours colours = ChooseItemColours(scheme, m_nSelStyle, bSelected, bDisabled);
    const RECT rcItem = lpDIS->rcItem;
    const RECT rcIcon = ToRect(iconCol);
    if (bImages)
        DrawIconBackground(nItem, pDC, rcItem, rcIcon, bDisabled, bSelected, colours.iconBack);
    pDC->SetTextColor(colours.text);
    pDC->SetBkColor(colours.back);
    const RECT rcArea = ToRect(ItemBackgroundRect(m_nSelStyle, textCol, textRect));
    DrawItemBackground(nItem, pDC, rcItem, rcArea, bDisabled, bSelected, colours.back);
    if (bImages)
        DrawItemIcon(nItem, pDC, rcItem, rcIcon, pData->nImage, bDisabled, bSelected);
    RECT rcText = ToRect(textRect);
    pDC->DrawText(strText, -1, &rcText, pData->uFormat | kTextFlags);
    if (FocusRectDrawn(bFocus, bDisabled)) {
        const RECT rcFocus = ToRect(FocusRect(m_nSelStyle, item, textCol, textRect));
        pDC->DrawFocusRect(&rcFocus);
    }
    UpdateScrollBar();
}

// The bar counts items, not pixels, and shows once the items would fill
// the list; it is kept up to date only as items are drawn.
void CIconListBox::UpdateScrollBar() {
    const int nCount = GetCount();
    ::AfxFlatSB_SetScrollRange(m_hWnd, SB_VERT, 0, nCount - 1, TRUE);
    RECT rcClient;
    GetClientRect(&rcClient);
    const IconMetrics icons = {m_pImageList != nullptr, m_cxIcon, m_cyIcon};
    ::AfxFlatSB_ShowScrollBar(m_hWnd, SB_VERT,
                              ScrollBarShown(nCount, icons, rcClient.bottom - rcClient.top));
}

// ---------------------------------------------------------------------------
// Messages

void CIconListBox::OnVScroll(UINT nSBCode, UINT, CWnd*) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
    ::AfxFlatSB_GetScrollInfo(m_hWnd, SB_VERT, &si);
    int nPos = ::AfxFlatSB_GetScrollPos(m_hWnd, SB_VERT);
    switch (nSBCode) {
    case SB_LINEUP:
        nPos -= 1;
        break;
    case SB_LINEDOWN:
        nPos += 1;
        break;
    case SB_PAGEUP:
        nPos -= 3;
        break;
    case SB_PAGEDOWN:
        nPos += 3;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        nPos = si.nTrackPos;
        break;
    case SB_TOP:
        nPos = si.nMin;
        break;
    case SB_BOTTOM:
        nPos = si.nMax;
        break;
    }
    ::AfxFlatSB_SetScrollPos(m_hWnd, SB_VERT, nPos, TRUE);
    Default();
}

void CIconListBox::OnDestroy() {
    if (m_bFlatSB) {
        ::AfxUninitializeFlatSB(m_hWnd);
        m_bFlatSB = 0;
    }
    FreeAllItemData();
    Default();
}

// A double-click on a disabled item stays here; any other goes to the owner.
BOOL CIconListBox::OnDblclk() {
    DWORD dwPos = ::GetMessagePos();
    CPoint pt((short)LOWORD(dwPos), (short)HIWORD(dwPos));
    ScreenToClient(&pt);
    BOOL bOutside = TRUE;
    UINT nItem = ItemFromPoint(pt, bOutside);
    return !bOutside && !IsItemEnabled((int)nItem);
}
