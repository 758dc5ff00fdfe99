#include "app/MainDlg.h"

#include <new>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr DWORD kFarewellMs = 700;

BOOL CreateImpactFont(CFont& font, int nHeight) {
    return font.CreateFont(nHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0,
                           PROOF_QUALITY, 0, "Impact");
}

void ApplyButtonSkin(CSkinButton& button, CFont& font, UINT idNormal, UINT idPressed, short nMode) {
    button.SendMessage(WM_SETFONT, (WPARAM)(HFONT)font, TRUE);
    button.SetSkin(idNormal, idPressed, 0, 0, 0, IDB_BUTTON_MASK, nMode, 0, 0);
}

} // namespace

// Runs in the constructor, after the locks and counters: nothing here needs
// the window.
void CMainDlg::PrepareLook() {
    m_pCtlBrush = new (std::nothrow) CBrush(kBlack);
    CreateImpactFont(m_fontLarge, 24);
    CreateImpactFont(m_fontSmall, 18);
    m_bmpBackground.LoadBitmap(IDB_BACKGROUND);
    if (m_dcBackground.CreateCompatibleDC(nullptr) && m_bmpBackground.GetSafeHandle())
        m_hOldBackground = m_dcBackground.SelectObject(m_bmpBackground);
    // White on black, selected items black on light grey.
    m_lstWindows.m_crBack = kBlack;
    m_lstWindows.m_crHighlight = RGB(200, 200, 200);
    m_lstWindows.m_crText = kWhite;
}

// The three large buttons show their pictures 1:1 and take the mask's size;
// the two small ones stretch theirs over the template size.
void CMainDlg::ApplySkins() {
    ApplyButtonSkin(m_btnRefresh, m_fontLarge, IDB_REFRESH_NORMAL, IDB_REFRESH_PRESSED,
                    SKIN_MODE_ACTUAL);
    ApplyButtonSkin(m_btnEngage, m_fontLarge, IDB_ENGAGE_NORMAL, IDB_ENGAGE_PRESSED,
                    SKIN_MODE_ACTUAL);
    ApplyButtonSkin(m_btnCloak, m_fontLarge, IDB_CLOAK_NORMAL, IDB_CLOAK_PRESSED, SKIN_MODE_ACTUAL);
    ApplyButtonSkin(m_btnClose, m_fontSmall, IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED,
                    SKIN_MODE_STRETCH);
    ApplyButtonSkin(m_btnAbout, m_fontSmall, IDB_ABOUT_NORMAL, IDB_ABOUT_PRESSED,
                    SKIN_MODE_STRETCH);
}

// The farewell picture covers the list for a moment before the dialog closes.
// The UI thread blocks meanwhile, so the picture is drawn straight into the
// static's DC rather than through WM_PAINT.
void CMainDlg::ShowFarewell() {
    CBitmap bmpFarewell;
    if (!bmpFarewell.LoadBitmap(IDB_FAREWELL))
        return; // nothing to show: close at once
    BITMAP bm = {};
    bmpFarewell.GetBitmap(&bm);

    HWND hList = ::GetDlgItem(m_hWnd, IDC_WINDOW_LIST);
    HWND hFarewell = ::GetDlgItem(m_hWnd, IDC_FAREWELL);
    if (!hFarewell)
        return;
    RECT rc = {};
    ::GetClientRect(hFarewell, &rc);
    HDC hDC = ::GetDC(hFarewell);
    if (!hDC)
        return;
    HDC hMemDC = ::CreateCompatibleDC(hDC);
    HGDIOBJ hOld = hMemDC ? ::SelectObject(hMemDC, bmpFarewell) : nullptr;

    ::ShowWindow(hFarewell, SW_SHOW);
    if (hList)
        ::ShowWindow(hList, SW_HIDE);
    // Paint what is pending (the static's black, the dialog under a menu that
    // just closed) now, so that none of it lands on the picture later.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (hOld)
        ::StretchBlt(hDC, 0, 0, rc.right, rc.bottom, hMemDC, 0, 0, bm.bmWidth, bm.bmHeight,
                     SRCCOPY);

    if (hOld)
        ::SelectObject(hMemDC, hOld);
    if (hMemDC)
        ::DeleteDC(hMemDC);
    ::ReleaseDC(hFarewell, hDC);
    bmpFarewell.DeleteObject();
    // The picture must reach the screen before the thread blocks. Where the
    // window system composes window contents lazily (Wine does, when the
    // thread next looks at its queue), a look at the queue status, which
    // changes nothing, pushes it out.
    ::GdiFlush();
    ::GetQueueStatus(0);
    ::Sleep(kFarewellMs);
}

void CMainDlg::OnPaint() {
    CPaintDC dc(this);
    CRect rcClient;
    GetClientRect(&rcClient);
    if (IsIconic()) {
        SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
        int x = (rcClient.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rcClient.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    // 1:1 from the client origin, never stretched.
    const RECT& rcPaint = dc.m_ps.rcPaint;
    dc.BitBlt(rcPaint.left, rcPaint.top, rcClient.right - rcPaint.left,
              rcClient.bottom - rcPaint.top, &m_dcBackground, rcPaint.left, rcPaint.top, SRCCOPY);
}

HCURSOR CMainDlg::OnQueryDragIcon() {
    return (HCURSOR)m_hIcon;
}

// The dialog has no caption: a press on its background starts a move as if
// the caption had been pressed.
void CMainDlg::OnLButtonDown(UINT, CPoint point) {
    Default();
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
}

HBRUSH CMainDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    if (nCtlColor != CTLCOLOR_LISTBOX && nCtlColor != CTLCOLOR_DLG && nCtlColor != CTLCOLOR_STATIC)
        return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetTextColor(kWhite);
    pDC->SetBkColor(kBlack);
    return m_pCtlBrush ? (HBRUSH)*m_pCtlBrush : nullptr;
}
