#include "app/MainDlg.h"

#include <cstddef>

// The record in the form every shell since Windows 2000 accepts: up to and
// including the balloon fields, 488 bytes in the 32-bit build.
static const DWORD kTrayRecordSize = NOTIFYICONDATAA_V2_SIZE;
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "32-bit tray icon record size");
#endif

void CMainDlg::AddTrayIcon() {
    ZeroMemory(&m_nid, sizeof m_nid);
    m_nid.cbSize = kTrayRecordSize;
    m_nid.hWnd = m_hWnd;
    m_nid.uID = 1;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = UM_TRAY_NOTIFY;
    m_nid.hIcon = m_hIcon;
    CString strTip;
    GetWindowText(strTip);
    ::lstrcpynA(m_nid.szTip, strTip, (int)sizeof m_nid.szTip);
    ::Shell_NotifyIconA(NIM_ADD, &m_nid);
}

void CMainDlg::RemoveTrayIcon() {
    if (m_nid.cbSize)
        ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
}

LRESULT CMainDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    switch ((UINT)lParam) {
    case WM_LBUTTONDOWN:
        ::SetCapture(m_hWnd);
        return 0;
    case WM_LBUTTONUP:
        ::SetForegroundWindow(m_hWnd);
        InvalidateRect(nullptr, FALSE);
        ::ReleaseCapture();
        return 0;
    case WM_RBUTTONUP:
        // Being in front before the menu, and the WM_NULL after it, make the
        // menu close when the user clicks elsewhere.
        ::SetForegroundWindow(m_hWnd);
        if (m_menuPopup.m_hMenu) {
            POINT pt;
            ::GetCursorPos(&pt);
            ShowPopupMenu(pt.x, pt.y);
        }
        PostMessage(WM_NULL, 0, 0);
        break;
    }
    return CDialog::WindowProc(UM_TRAY_NOTIFY, wParam, lParam);
}

// The items are rebuilt on every show, so the menu is the same however
// often it has been opened.
void CMainDlg::ShowPopupMenu(int x, int y) {
    if (!m_menuPopup.m_hMenu)
        return;
    for (int i = (int)m_menuPopup.GetMenuItemCount() - 1; i >= 0; --i)
        m_menuPopup.RemoveMenu((UINT)i, MF_BYPOSITION);
    m_menuPopup.AppendMenu(MF_STRING, ID_TRAY_CLOSE, "Close");
    m_menuPopup.AppendMenu(MF_SEPARATOR);
    m_menuPopup.AppendMenu(MF_STRING, ID_TRAY_ABOUT, "About...");
    m_menuPopup.TrackPopupMenu(TPM_RIGHTBUTTON, x, y, this);
}

// A menu asked for from the keyboard (Shift+F10, the menu key) comes without
// a position, as (-1, -1): it opens at the dialog's top-left corner.
void CMainDlg::OnContextMenu(CWnd*, CPoint point) {
    if (point.x == -1 && point.y == -1) {
        CPoint ptOrigin(0, 0);
        ClientToScreen(&ptOrigin);
        point = ptOrigin;
    }
    ShowPopupMenu(point.x, point.y);
}
