#include "app/MainDlg.h"

void CMainDlg::OnCloak() {}

CloakWindow* CMainDlg::RunCloak(HWND) {
    return nullptr;
}

int CMainDlg::OnCloakDone(HWND) {
    return 1;
}

void CMainDlg::DestroyAllCloaks() {}

void CMainDlg::DrawCloakProgress(int, int) {}

void CloakProgressThunk(int nDone, int nTotal, void* pUser) {
    static_cast<CMainDlg*>(pUser)->DrawCloakProgress(nDone, nTotal);
}
