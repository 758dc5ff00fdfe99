#include "app/AboutDlg.h"

#include "app/MainDlg.h"
#include "resource.h"

#include <new>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDeepNavy = RGB(0, 0, 15);

} // namespace

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
ON_WM_CTLCOLOR()
ON_WM_PAINT()
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* pParent)
    : CDialog(IDD_ABOUTBOX, pParent), m_pBrush(nullptr), m_hOldBitmap(nullptr) {
    m_font.CreateFont(18, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0,
                      PROOF_QUALITY, 0, "Impact");
    m_pBrush = new (std::nothrow) CBrush(kDeepNavy);
    m_dcBackground.CreateCompatibleDC(nullptr);
    m_bmpBackground.LoadBitmap(IDB_ABOUT_BACKGROUND);
    if (m_dcBackground.GetSafeHdc() && m_bmpBackground.GetSafeHandle())
        m_hOldBitmap = m_dcBackground.SelectObject(m_bmpBackground);
}

CAboutDlg::~CAboutDlg() {
    if (m_dcBackground.GetSafeHdc() && m_hOldBitmap)
        m_dcBackground.SelectObject(m_hOldBitmap);
    m_dcBackground.DeleteDC();
    m_bmpBackground.DeleteObject();
    m_font.DeleteObject();
    delete m_pBrush;
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_btnConfirm);
}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_btnConfirm.SendMessage(WM_SETFONT, (WPARAM)(HFONT)m_font, TRUE);
    m_btnConfirm.SetSkin(IDB_ENGAGE_NORMAL, IDB_ENGAGE_PRESSED, 0, 0, 0, IDB_BUTTON_MASK,
                         SKIN_MODE_STRETCH, 0, 0);
    CString strTitle, strStage;
    strTitle.LoadString(IDS_TITLE);
    strStage.LoadString(IDS_STAGE);
    ::SetDlgItemTextA(m_hWnd, IDC_VERSION, strTitle + "   " + strStage);
    return TRUE;
}

HBRUSH CAboutDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    if (nCtlColor != CTLCOLOR_DLG && nCtlColor != CTLCOLOR_STATIC)
        return CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    pDC->SetTextColor(kWhite);
    pDC->SetBkColor(kDeepNavy);
    return m_pBrush ? (HBRUSH)*m_pBrush : nullptr;
}

void CAboutDlg::OnPaint() {
    CPaintDC dc(this);
    CRect rcClient;
    GetClientRect(&rcClient);
    const RECT& rcPaint = dc.m_ps.rcPaint;
    dc.BitBlt(rcPaint.left, rcPaint.top, rcClient.right - rcPaint.left,
              rcClient.bottom - rcPaint.top, &m_dcBackground, rcPaint.left, rcPaint.top, SRCCOPY);
}

// Dragged by its background, like the main dialog.
void CAboutDlg::OnLButtonDown(UINT, CPoint point) {
    Default();
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
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

// Only the low four bits of a system command are the system's own; 16 to 31
// all mean the About box.
// One box at a time: the tray menu stays reachable while the box is open, and
// asking again brings the open box to the front.
void CMainDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) != IDM_ABOUTBOX) {
        Default();
        return;
    }
    if (m_pAboutDlg) {
        if (m_pAboutDlg->m_hWnd)
            ::SetForegroundWindow(m_pAboutDlg->m_hWnd);
        return;
    }
    CAboutDlg dlgAbout(this);
    m_pAboutDlg = &dlgAbout;
    dlgAbout.DoModal();
    m_pAboutDlg = nullptr;
}
