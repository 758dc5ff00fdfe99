#include "controls/SkinButton.h"

#include "app/Messages.h"
#include "controls/KeyedRegion.h"

#include <algorithm>

namespace {

constexpr COLORREF kMaskKey = RGB(255, 255, 255);
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// 0 and the ids whose low word is 0 mean "no bitmap".
BOOL LoadSlot(CBitmap& slot, UINT id) {
    if (!LOWORD(id))
        return TRUE;
    return slot.LoadBitmap(LOWORD(id));
}

void FillFace(HDC hDC, const RECT& rect) {
    CDC::FromHandle(hDC)->FillSolidRect(&rect, ::GetSysColor(COLOR_BTNFACE));
}

BOOL IsOverWindow(HWND hWnd, POINT ptScreen) {
    return ::WindowFromPoint(ptScreen) == hWnd;
}

} // namespace

BEGIN_MESSAGE_MAP(CSkinButton, CButton)
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSEMOVE()
ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
ON_WM_KILLFOCUS()
ON_WM_KEYDOWN()
ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
ON_MESSAGE(UM_GROUP_UNCHECK, OnGroupUncheck)
ON_MESSAGE(BM_SETCHECK, OnSetCheck)
ON_MESSAGE(BM_GETCHECK, OnGetCheck)
END_MESSAGE_MAP()

CSkinButton::CSkinButton()
    : m_bChecked(0), m_nKind(BUTTON_KIND_PUSH), m_bHover(0), m_bPressed(0), m_nFocusInset(0),
      m_crText(::GetSysColor(COLOR_BTNTEXT)), m_hRgn(nullptr), m_bBorder(0),
      m_nDrawMode(SKIN_MODE_STRETCH), m_bOwnsRgn(FALSE) {}

CSkinButton::~CSkinButton() {
    ReleaseRegion();
    m_bmpFocus.DeleteObject();
    m_bmpHover.DeleteObject();
    m_bmpMask.DeleteObject();
    m_bmpDisabled.DeleteObject();
    m_bmpPressed.DeleteObject();
    m_bmpNormal.DeleteObject();
    m_toolTip.DestroyWindow();
}

// A region the window has taken is the window's; only one we still hold is
// deleted.
void CSkinButton::ReleaseRegion() {
    if (m_hRgn && m_bOwnsRgn)
        ::DeleteObject(m_hRgn);
    m_hRgn = nullptr;
    m_bOwnsRgn = FALSE;
}

void CSkinButton::PreSubclassWindow() {
    BYTE s = (BYTE)GetStyle();
    if ((s & 3) == 3)
        m_nKind = BUTTON_KIND_CHECKBOX;
    else if ((s & 9) == 9)
        m_nKind = BUTTON_KIND_RADIO;
    else
        m_nKind = BUTTON_KIND_PUSH;
    CButton::PreSubclassWindow();
    // The type bits are replaced, not OR-ed: OR-ing BS_OWNERDRAW into a radio
    // or group box style would give type 15, which the system does not draw
    // through WM_DRAWITEM.
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
}

BOOL CSkinButton::SetSkin(UINT idNormal, UINT idPressed, UINT idHover, UINT idDisabled,
                          UINT idFocus, UINT idMask, short nDrawMode, short bBorder,
                          short nFocusInset) {
    m_bmpNormal.DeleteObject();
    m_bmpPressed.DeleteObject();
    m_bmpHover.DeleteObject();
    m_bmpDisabled.DeleteObject();
    m_bmpMask.DeleteObject();
    m_bmpFocus.DeleteObject();

    BOOL bAllLoaded = LoadSlot(m_bmpNormal, idNormal);
    bAllLoaded &= LoadSlot(m_bmpPressed, idPressed);
    bAllLoaded &= LoadSlot(m_bmpHover, idHover);
    bAllLoaded &= LoadSlot(m_bmpFocus, idFocus);
    bAllLoaded &= LoadSlot(m_bmpDisabled, LOWORD(idDisabled) ? idDisabled : idNormal);

    m_nDrawMode = (short)std::clamp<int>(nDrawMode, SKIN_MODE_ACTUAL, SKIN_MODE_TILE);
    m_bBorder = bBorder;
    m_nFocusInset = std::max<short>(nFocusInset, 0);

    if (!LOWORD(idMask))
        return bAllLoaded;
    if (!m_bmpMask.LoadBitmap(LOWORD(idMask)))
        return FALSE; // no shape: region and size stay as they were

    ReleaseRegion();
    m_hRgn = CreateKeyedRegion(m_hWnd, m_bmpMask, kMaskKey);
    m_bOwnsRgn = m_hRgn != nullptr;
    if (m_hRgn && m_hWnd && ::SetWindowRgn(m_hWnd, m_hRgn, TRUE))
        m_bOwnsRgn = FALSE;

    if (m_nDrawMode == SKIN_MODE_ACTUAL && m_hWnd) {
        SetWindowPos(nullptr, 0, 0, GetBitmapWidth(m_bmpMask), GetBitmapHeight(m_bmpMask),
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    return bAllLoaded;
}

int CSkinButton::GetBitmapWidth(HBITMAP hBitmap) {
    BITMAP bm = {};
    return hBitmap && ::GetObjectA(hBitmap, sizeof bm, &bm) ? bm.bmWidth : 0;
}

int CSkinButton::GetBitmapHeight(HBITMAP hBitmap) {
    BITMAP bm = {};
    return hBitmap && ::GetObjectA(hBitmap, sizeof bm, &bm) ? bm.bmHeight : 0;
}

void CSkinButton::RelayToolTipEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!::IsWindow(m_toolTip.m_hWnd))
        return;
    MSG msg = {m_hWnd, message, wParam, lParam, 0, {(short)LOWORD(lParam), (short)HIWORD(lParam)}};
    m_toolTip.SendMessage(TTM_RELAYEVENT, 0, (LPARAM)&msg);
}

// ---------------------------------------------------------------------------
// Painting

void CSkinButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    // While the mouse button is held the pushed look follows the pointer; the
    // state change repaints, so this paint is dropped.
    POINT ptCursor;
    if (m_bPressed && ::GetCapture() == m_hWnd && ::GetCursorPos(&ptCursor)) {
        BOOL bOver = IsOverWindow(m_hWnd, ptCursor);
        BOOL bPushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        if (bOver && !bPushed) {
            SendMessage(BM_SETSTATE, TRUE);
            return;
        }
        if (!bOver && bPushed) {
            SendMessage(BM_SETSTATE, FALSE);
            return;
        }
    }

    HDC hDC = lpDIS->hDC;
    const RECT& rcItem = lpDIS->rcItem;
    const UINT nState = lpDIS->itemState;
    CString strCaption;
    GetWindowText(strCaption);
    RECT rcText = rcItem;
    rcText.left += m_nFocusInset + 2;
    rcText.right -= m_nFocusInset + 2;
    ::SetBkMode(hDC, TRANSPARENT);

    if (nState & ODS_DISABLED) {
        if (m_bmpDisabled.GetSafeHandle())
            DrawSkinBitmap(hDC, m_bmpDisabled, rcItem, m_nDrawMode);
        else
            FillFace(hDC, rcItem);
        RECT rcEdge = rcItem;
        if (m_bBorder)
            ::DrawEdge(hDC, &rcEdge, EDGE_RAISED, BF_RECT);
        ::SetTextColor(hDC, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextA(hDC, strCaption, -1, &rcText, kCaptionFormat);
        ::SetTextColor(hDC, ::GetSysColor(COLOR_GRAYTEXT));
        ::OffsetRect(&rcText, -1, -1);
        ::DrawTextA(hDC, strCaption, -1, &rcText, kCaptionFormat);
        return;
    }

    UINT nEdge;
    if ((nState & ODS_SELECTED) || m_bChecked) {
        if (m_bmpPressed.GetSafeHandle())
            DrawSkinBitmap(hDC, m_bmpPressed, rcItem, m_nDrawMode);
        else
            FillFace(hDC, rcItem);
        ::OffsetRect(&rcText, 1, 1);
        nEdge = EDGE_SUNKEN;
    } else {
        if (m_bmpNormal.GetSafeHandle()) {
            HBITMAP hPicture = m_bmpNormal;
            if (m_bHover && m_bmpHover.GetSafeHandle())
                hPicture = m_bmpHover;
            else if ((nState & ODS_FOCUS) && m_bmpFocus.GetSafeHandle())
                hPicture = m_bmpFocus;
            DrawSkinBitmap(hDC, hPicture, rcItem, m_nDrawMode);
        } else {
            FillFace(hDC, rcItem);
        }
        nEdge = EDGE_RAISED;
    }
    if (m_bBorder) {
        RECT rcEdge = rcItem;
        ::DrawEdge(hDC, &rcEdge, nEdge, BF_RECT);
    }
    if ((nState & ODS_FOCUS) && m_nFocusInset > 0) {
        RECT rcFocus = rcItem;
        ::InflateRect(&rcFocus, -m_nFocusInset, -m_nFocusInset);
        ::DrawFocusRect(hDC, &rcFocus);
    }
    ::SetTextColor(hDC, m_crText);
    ::DrawTextA(hDC, strCaption, -1, &rcText, kCaptionFormat);
}

void CSkinButton::DrawSkinBitmap(HDC hDC, HBITMAP hBitmap, const RECT& rect, int nMode) {
    if (nMode == SKIN_MODE_TILE) {
        TileBitmap(hDC, hBitmap, rect);
        return;
    }
    if (!hBitmap)
        return;
    HDC hImageDC = ::CreateCompatibleDC(hDC);
    if (!hImageDC)
        return;
    HGDIOBJ hOldImage = ::SelectObject(hImageDC, hBitmap);
    const SkinBlit blit = {rect.right - rect.left, rect.bottom - rect.top, GetBitmapWidth(hBitmap),
                           GetBitmapHeight(hBitmap), nMode};
    if (m_bmpMask.GetSafeHandle())
        DrawMasked(hDC, rect, hImageDC, blit);
    else
        blit.Put(hDC, rect.left, rect.top, hImageDC, SRCCOPY);
    ::SelectObject(hImageDC, hOldImage);
    ::DeleteDC(hImageDC);
}

// Mode 0 copies 1:1 from the origin, mode 1 stretches the whole picture.
void CSkinButton::SkinBlit::Put(HDC hDst, int x, int y, HDC hSrc, DWORD dwRop) const {
    if (nMode == SKIN_MODE_ACTUAL)
        ::BitBlt(hDst, x, y, cx, cy, hSrc, 0, 0, dwRop);
    else
        ::StretchBlt(hDst, x, y, cx, cy, hSrc, 0, 0, cxImage, cyImage, dwRop);
}

// The picture shows where the mask is black and the background where it is
// white: image XOR background, AND mask, XOR image again, composed off screen.
// If the off-screen bitmap cannot be had, nothing is drawn: the picture
// unmasked would cover the holes.
void CSkinButton::DrawMasked(HDC hDC, const RECT& rect, HDC hImageDC, const SkinBlit& blit) {
    HDC hMaskDC = ::CreateCompatibleDC(hDC);
    HDC hOffDC = hMaskDC ? ::CreateCompatibleDC(hDC) : nullptr;
    HBITMAP hOffBmp = hOffDC ? ::CreateCompatibleBitmap(hDC, blit.cx, blit.cy) : nullptr;
    if (hOffBmp) {
        HGDIOBJ hOldMask = ::SelectObject(hMaskDC, m_bmpMask);
        HGDIOBJ hOldOff = ::SelectObject(hOffDC, hOffBmp);
        ::BitBlt(hOffDC, 0, 0, blit.cx, blit.cy, hDC, rect.left, rect.top, SRCCOPY);
        blit.Put(hOffDC, 0, 0, hImageDC, SRCINVERT);
        blit.Put(hOffDC, 0, 0, hMaskDC, SRCAND);
        blit.Put(hOffDC, 0, 0, hImageDC, SRCINVERT);
        ::BitBlt(hDC, rect.left, rect.top, blit.cx, blit.cy, hOffDC, 0, 0, SRCCOPY);
        ::SelectObject(hOffDC, hOldOff);
        ::SelectObject(hMaskDC, hOldMask);
        ::DeleteObject(hOffBmp);
    }
    if (hOffDC)
        ::DeleteDC(hOffDC);
    if (hMaskDC)
        ::DeleteDC(hMaskDC);
}

void CSkinButton::TileBitmap(HDC hDC, HBITMAP hBitmap, const RECT& rect) {
    const int cxTile = GetBitmapWidth(hBitmap), cyTile = GetBitmapHeight(hBitmap);
    if (cxTile <= 0 || cyTile <= 0)
        return;
    HDC hTileDC = ::CreateCompatibleDC(hDC);
    if (!hTileDC)
        return;
    HGDIOBJ hOld = ::SelectObject(hTileDC, hBitmap);
    for (int y = rect.top; y < rect.bottom; y += cyTile) {
        const int cy = std::min(cyTile, (int)rect.bottom - y);
        for (int x = rect.left; x < rect.right; x += cxTile) {
            const int cx = std::min(cxTile, (int)rect.right - x);
            ::BitBlt(hDC, x, y, cx, cy, hTileDC, 0, 0, SRCCOPY);
        }
    }
    ::SelectObject(hTileDC, hOld);
    ::DeleteDC(hTileDC);
}

// ---------------------------------------------------------------------------
// Input

// What a click or the space bar does to an automatic check box or radio
// button; push buttons are left alone.
void CSkinButton::ToggleByKind() {
    if (m_nKind == BUTTON_KIND_CHECKBOX)
        SendMessage(BM_SETCHECK, !m_bChecked);
    else if (m_nKind == BUTTON_KIND_RADIO)
        SendMessage(BM_SETCHECK, TRUE);
}

BOOL CSkinButton::OnEraseBkgnd(CDC*) {
    return TRUE; // the paint covers the whole button
}

void CSkinButton::OnLButtonDown(UINT nFlags, CPoint point) {
    RelayToolTipEvent(WM_LBUTTONDOWN, nFlags, MAKELPARAM(point.x, point.y));
    if (m_bHover) {
        TRACKMOUSEEVENT tme = {sizeof tme, TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (::TrackMouseEvent(&tme))
            m_bHover = 0;
    }
    Default();
    m_bPressed = 1;
}

void CSkinButton::OnLButtonUp(UINT nFlags, CPoint point) {
    if (m_nKind != BUTTON_KIND_PUSH) {
        POINT pt = point;
        ClientToScreen(&pt);
        if (IsOverWindow(m_hWnd, pt))
            ToggleByKind();
    }
    RelayToolTipEvent(WM_LBUTTONUP, nFlags, MAKELPARAM(point.x, point.y));
    m_bPressed = 0;
    Default();
}

void CSkinButton::OnMouseMove(UINT nFlags, CPoint point) {
    RelayToolTipEvent(WM_MOUSEMOVE, nFlags, MAKELPARAM(point.x, point.y));
    if (m_bPressed && ::GetCapture() == m_hWnd) {
        POINT pt = point;
        ClientToScreen(&pt);
        BOOL bOver = IsOverWindow(m_hWnd, pt);
        BOOL bPushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        if (bPushed != bOver) {
            SendMessage(BM_SETSTATE, bOver);
            Repaint();
        }
    } else if (!m_bHover) {
        TRACKMOUSEEVENT tme = {sizeof tme, TME_LEAVE, m_hWnd, 0};
        if (::TrackMouseEvent(&tme)) {
            m_bHover = 1;
            Repaint();
        }
    }
    Default();
}

// A double-click is a second press.
LRESULT CSkinButton::OnLButtonDblClk(WPARAM wParam, LPARAM lParam) {
    return SendMessage(WM_LBUTTONDOWN, wParam, lParam);
}

void CSkinButton::OnKillFocus(CWnd*) {
    if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
        m_bPressed = 0;
    }
    Default();
}

void CSkinButton::OnKeyDown(UINT nChar, UINT, UINT) {
    if (m_nKind != BUTTON_KIND_PUSH && nChar == VK_SPACE)
        ToggleByKind();
    Default();
}

LRESULT CSkinButton::OnMouseLeave(WPARAM, LPARAM) {
    m_bHover = 0;
    Repaint();
    return 0;
}

LRESULT CSkinButton::OnGroupUncheck(WPARAM, LPARAM) {
    if (m_bChecked) {
        m_bChecked = 0;
        Repaint();
    }
    return 0;
}

LRESULT CSkinButton::OnSetCheck(WPARAM wParam, LPARAM) {
    m_bChecked = (wParam != 0 && m_nKind != BUTTON_KIND_PUSH) ? 1 : 0;
    if (m_nKind == BUTTON_KIND_RADIO && wParam) {
        // The walk ends back at this button; a hidden or disabled button is
        // skipped by the walk, so it also ends when the first control returned
        // comes round again.
        HWND hParent = ::GetParent(m_hWnd);
        HWND hFirst = nullptr;
        for (HWND h = ::GetNextDlgGroupItem(hParent, m_hWnd, FALSE); h && h != m_hWnd;
             h = ::GetNextDlgGroupItem(hParent, h, FALSE)) {
            if (h == hFirst)
                break;
            if (!hFirst)
                hFirst = h;
            ::PostMessageA(h, UM_GROUP_UNCHECK, 0, 0);
        }
    }
    Repaint();
    return 0;
}

LRESULT CSkinButton::OnGetCheck(WPARAM, LPARAM) {
    return m_bChecked;
}
