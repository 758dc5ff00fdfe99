#include "app/AboutDlg.h"

#include "app/MainDlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_btnConfirm);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CString strTitle, strStage;
    strTitle.LoadString(IDS_TITLE);
    strStage.LoadString(IDS_STAGE);
    ::SetDlgItemTextA(m_hWnd, IDC_VERSION, strTitle + "   " + strStage);
    return TRUE;
}

// The entry's text is Japanese: it is loaded and appended through the wide
// calls, so that it shows intact whatever the system's ANSI code page.
void CMainDlg::AddAboutMenuEntry() {
    HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!hSysMenu)
        return;
    WCHAR szEntry[256];
    int n = ::LoadStringW(AfxGetModuleState()->m_hCurrentResourceHandle, IDS_ABOUTBOX, szEntry,
                          (int)(sizeof szEntry / sizeof szEntry[0]));
    if (n <= 0)
        return;
    ::AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, szEntry);
}

void CMainDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        Default();
    }
}
