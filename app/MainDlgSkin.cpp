#include "app/MainDlg.h"

void CMainDlg::PrepareLook() {}

void CMainDlg::ApplySkins() {}

void CMainDlg::ShowFarewell() {}

void CMainDlg::OnPaint() {
    Default();
}

HCURSOR CMainDlg::OnQueryDragIcon() {
    return (HCURSOR)m_hIcon;
}

void CMainDlg::OnLButtonDown(UINT, CPoint) {
    Default();
}

HBRUSH CMainDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
}
