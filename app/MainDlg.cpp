#include "app/MainDlg.h"

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_LBUTTONDOWN()
ON_WM_CTLCOLOR()
ON_WM_CONTEXTMENU()
ON_BN_CLICKED(IDC_ENGAGE, OnEngage)
ON_LBN_DBLCLK(IDC_WINDOW_LIST, OnEngage)
ON_BN_CLICKED(IDC_CLOAK, OnCloak)
ON_BN_CLICKED(IDC_REFRESH, OnRefresh)
ON_BN_CLICKED(IDC_CLOSE, OnCloseButton)
ON_BN_CLICKED(IDC_ABOUT, OnAboutButton)
END_MESSAGE_MAP()

CMainDlg::CMainDlg() : CDialog(IDD_MAIN, nullptr) {
    m_hIcon =
        ::LoadIconA(AfxGetModuleState()->m_hCurrentInstanceHandle, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hCoilLock = ::CreateMutexA(nullptr, FALSE, nullptr);
    m_hCloakLock = ::CreateMutexA(nullptr, FALSE, nullptr);
    m_hWorker = nullptr;
    m_nStopWorker = 0;
    m_nCoilCount = 0;
    m_nCloakCount = 0;
    m_nWindowCount = 0;
    m_pCtlBrush = nullptr;
    m_pAboutDlg = nullptr;
    m_bInCommand = FALSE;
    m_hOldBackground = nullptr;
    ZeroMemory(m_hWindows, sizeof m_hWindows);
    ZeroMemory(&m_nid, sizeof m_nid);
    ZeroMemory(m_coils, sizeof m_coils);
    ZeroMemory(m_cloaks, sizeof m_cloaks);
    PrepareLook();
}

CMainDlg::~CMainDlg() {
    if (m_dcBackground.GetSafeHdc() && m_hOldBackground)
        m_dcBackground.SelectObject(m_hOldBackground);
    m_dcBackground.DeleteDC();
    m_bmpBackground.DeleteObject();
    m_fontSmall.DeleteObject();
    m_fontLarge.DeleteObject();
    delete m_pCtlBrush;
    if (m_hCloakLock)
        ::CloseHandle(m_hCloakLock);
    if (m_hCoilLock)
        ::CloseHandle(m_hCoilLock);
    m_menuPopup.DestroyMenu();
    // The image list, the list and the buttons go with their members, in
    // reverse order of declaration.
}

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_REFRESH, m_btnRefresh);
    DDX_Control(pDX, IDC_ENGAGE, m_btnEngage);
    DDX_Control(pDX, IDC_CLOAK, m_btnCloak);
    DDX_Control(pDX, IDC_CLOSE, m_btnClose);
    DDX_Control(pDX, IDC_ABOUT, m_btnAbout);
    DDX_Control(pDX, IDC_WINDOW_LIST, m_lstWindows);
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // No taskbar button: the tray icon stands for the program.
    ModifyStyleEx(WS_EX_APPWINDOW, 0);
    AddAboutMenuEntry();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_menuPopup.CreatePopupMenu();
    SetUpWindowList();
    ApplySkins();
    CString strTitle;
    strTitle.LoadString(IDS_TITLE);
    SetWindowText(strTitle);
    RefreshWindowList();
    AddTrayIcon();
    return TRUE;
}

INT_PTR CMainDlg::RunModal() {
    INT_PTR nResult = DoModal();
    RemoveTrayIcon();
    StopEngageWorker();
    DestroyAllCoils();
    DestroyAllCloaks();
    return nResult;
}

BOOL CMainDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CDialog::OnCommand(wParam, lParam))
        return TRUE;
    if (HIWORD(wParam) != 0)
        return FALSE;
    switch (LOWORD(wParam)) {
    case ID_TRAY_CLOSE:
        PostMessage(WM_CLOSE, 0, 0);
        return TRUE;
    case ID_TRAY_ABOUT:
        PostMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        return TRUE;
    }
    return FALSE;
}

// While the dialog carries out a command it waits in many places answering
// the messages other programs send (a ping of a target, the picture's read,
// the stop of a worker), and a command sent there would run inside the first
// one: a second CLOAK would fill the slot the first is about to write. So
// every command passes one gate: one that comes while another is carried out
// goes to the back of the queue and is carried out after it, never nested and
// never lost. The About box, the menus and the system's own move and menu
// loops run loops of their own that carry out what comes in as the main loop
// would: they wait their turn, but do not hold the gate while they are open,
// or a command put back in the queue would come straight back to them.
static BOOL OpensALoop(UINT message) {
    return message == WM_SYSCOMMAND || message == WM_CONTEXTMENU || message == UM_TRAY_NOTIFY;
}

static BOOL IsCommand(UINT message) {
    return message == WM_COMMAND || message == WM_CLOSE || OpensALoop(message);
}

LRESULT CMainDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsCommand(message))
        return HandleMessage(message, wParam, lParam);
    if (m_bInCommand) {
        PostMessage(message, wParam, lParam);
        return 0;
    }
    if (OpensALoop(message))
        return HandleMessage(message, wParam, lParam);
    m_bInCommand = TRUE;
    const LRESULT lResult = HandleMessage(message, wParam, lParam);
    m_bInCommand = FALSE;
    return lResult;
}

LRESULT CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        // From here on no worker may report its run: the teardown that
        // follows DoModal waits for it.
        ::InterlockedExchange(&m_nStopWorker, 1);
        break;
    case WM_CLOSE:
        // The About box runs its own modal loop inside this one: it ends first,
        // so that the dialog's own end is not left waiting for CONFIRM.
        if (m_pAboutDlg)
            m_pAboutDlg->EndDialog(IDCANCEL);
        ShowFarewell();
        break;
    case UM_COIL_DONE:
        OnCoilDone((HWND)lParam);
        return 0;
    case UM_ENABLE_COMMANDS:
        // Any program can send this number: only the two values the program
        // itself sends mean anything.
        if (lParam == 0 || lParam == 1) {
            m_btnEngage.EnableWindow((BOOL)lParam);
            m_btnRefresh.EnableWindow((BOOL)lParam);
        }
        return 0;
    case UM_TRAY_NOTIFY:
        return OnTrayNotify(wParam, lParam);
    case UM_CLOAK_DONE:
        OnCloakDone((HWND)lParam);
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
