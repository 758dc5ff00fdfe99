#include "app/MainDlg.h"

void CMainDlg::OnEngage() {}

void CMainDlg::StopEngageWorker() {}

UINT __cdecl EngageThreadProc(LPVOID) {
    return 0;
}

BOOL CMainDlg::WarpWindow(HWND, BOOL) {
    return FALSE;
}

BOOL CMainDlg::OnCoilDone(HWND) {
    return FALSE;
}

void CMainDlg::DestroyAllCoils() {}
