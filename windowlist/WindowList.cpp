#include "app/MainDlg.h"

void CMainDlg::SetUpWindowList() {}

void CMainDlg::RefreshWindowList() {}

BOOL CALLBACK CMainDlg::EnumWindowsProc(HWND hWnd, LPARAM lParam) {
    return reinterpret_cast<CMainDlg*>(lParam)->AddQualifyingWindow(hWnd);
}

BOOL CMainDlg::AddQualifyingWindow(HWND) {
    return TRUE;
}

HWND CMainDlg::TakeNextSelectedWindow() {
    return nullptr;
}
