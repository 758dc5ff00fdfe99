#include "app/MainDlg.h"

void CMainDlg::AddTrayIcon() {}

void CMainDlg::RemoveTrayIcon() {}

LRESULT CMainDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    return CDialog::WindowProc(UM_TRAY_NOTIFY, wParam, lParam);
}

void CMainDlg::ShowPopupMenu(int, int) {}

void CMainDlg::OnContextMenu(CWnd*, CPoint) {
    Default();
}
