// The framework under a real window system: message maps and their routing,
// subclassing and the handle map, dialog data exchange, threads, CString.
#include <gtest/gtest.h>

#include "framework/AfxWin.h"
#include "resource.h"

namespace {

// A control class that hears its own notifications first.
class CRecordingButton : public CButton {
  public:
    int m_nKept = 0;
    bool m_bKeep = false;
    BOOL OnReflectedClick() {
        ++m_nKept;
        return m_bKeep;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingButton, CButton)
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnReflectedClick)
END_MESSAGE_MAP()

// The main dialog's template, run modelessly through the modal machinery:
// every test runs inside OnInitDialog and ends the dialog itself.
class CProbeDlg : public CDialog {
  public:
    CProbeDlg() : CDialog(IDD_MAIN) {}
    CRecordingButton m_btnEngage;
    int m_nEngage = 0, m_nSysCommand = 0, m_nCustom = 0, m_nCtlColorKind = -1;
    LPARAM m_lCustom = 0;
    void (*m_pfnBody)(CProbeDlg*) = nullptr;

  protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_ENGAGE, m_btnEngage); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (m_pfnBody)
            m_pfnBody(this);
        EndDialog(IDOK);
        return TRUE;
    }
    void OnEngage() { ++m_nEngage; }
    void OnSysCommand(UINT, LPARAM) { ++m_nSysCommand; }
    LRESULT OnCustom(WPARAM, LPARAM lParam) {
        ++m_nCustom;
        m_lCustom = lParam;
        return 42;
    }
    HBRUSH OnCtlColor(CDC*, CWnd*, UINT nCtlColor) {
        m_nCtlColorKind = (int)nCtlColor;
        return (HBRUSH)::GetStockObject(BLACK_BRUSH);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_CTLCOLOR()
ON_MESSAGE(WM_APP + 1, OnCustom)
ON_BN_CLICKED(IDC_ENGAGE, OnEngage)
END_MESSAGE_MAP()

void RunDialog(void (*body)(CProbeDlg*), CProbeDlg& dlg) {
    dlg.m_pfnBody = body;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_hWnd, nullptr) << "the dialog detaches when its window goes";
}

} // namespace

TEST(Framework, MessageMapDispatchesToHandlers) {
    CProbeDlg dlg;
    RunDialog(
        [](CProbeDlg* d) {
            EXPECT_EQ(CWnd::FromHandlePermanent(d->m_hWnd), d);
            EXPECT_EQ(d->SendMessage(WM_APP + 1, 0, 7), 42);
            EXPECT_EQ(d->m_lCustom, 7);
            d->SendMessage(WM_SYSCOMMAND, 0x10, 0);
            EXPECT_EQ(d->m_nSysCommand, 1);
            // Every WM_CTLCOLORxxx reaches the one handler with its kind.
            HDC dc = ::GetDC(d->m_hWnd);
            LRESULT br = d->SendMessage(WM_CTLCOLORSTATIC, (WPARAM)dc, 0);
            EXPECT_EQ((HBRUSH)br, (HBRUSH)::GetStockObject(BLACK_BRUSH));
            EXPECT_EQ(d->m_nCtlColorKind, CTLCOLOR_STATIC);
            d->SendMessage(WM_CTLCOLORLISTBOX, (WPARAM)dc, 0);
            EXPECT_EQ(d->m_nCtlColorKind, CTLCOLOR_LISTBOX);
            ::ReleaseDC(d->m_hWnd, dc);
        },
        dlg);
}

TEST(Framework, ControlNotificationsAreReflectedFirst) {
    CProbeDlg dlg;
    RunDialog(
        [](CProbeDlg* d) {
            ASSERT_NE(d->m_btnEngage.m_hWnd, nullptr) << "DDX_Control subclassed the button";
            EXPECT_EQ(CWnd::FromHandlePermanent(d->m_btnEngage.m_hWnd), &d->m_btnEngage);
            WPARAM wp = MAKEWPARAM(IDC_ENGAGE, BN_CLICKED);
            d->SendMessage(WM_COMMAND, wp, (LPARAM)d->m_btnEngage.m_hWnd);
            EXPECT_EQ(d->m_btnEngage.m_nKept, 1);
            EXPECT_EQ(d->m_nEngage, 1) << "a reflected handler that returns FALSE passes it on";
            d->m_btnEngage.m_bKeep = true;
            d->SendMessage(WM_COMMAND, wp, (LPARAM)d->m_btnEngage.m_hWnd);
            EXPECT_EQ(d->m_btnEngage.m_nKept, 2);
            EXPECT_EQ(d->m_nEngage, 1) << "TRUE keeps the notification from the parent";
        },
        dlg);
}

TEST(Framework, TemporariesAndSubclassingEnd) {
    CProbeDlg dlg;
    HWND hButton = nullptr;
    static HWND s_hButton;
    RunDialog(
        [](CProbeDlg* d) {
            s_hButton = d->m_btnEngage.m_hWnd;
            CWnd* pList = d->GetDlgItem(IDC_WINDOW_LIST);
            ASSERT_NE(pList, nullptr);
            EXPECT_EQ(CWnd::FromHandlePermanent(pList->m_hWnd), nullptr) << "a temporary";
            EXPECT_EQ(d->GetDlgItem(IDC_ENGAGE), &d->m_btnEngage) << "the permanent object";
        },
        dlg);
    hButton = s_hButton;
    EXPECT_EQ(CWnd::FromHandlePermanent(hButton), nullptr);
    EXPECT_EQ(dlg.m_btnEngage.m_hWnd, nullptr);
}

namespace {
volatile LONG g_nThreadRuns = 0;
UINT __cdecl CountingThread(LPVOID pParam) {
    ::InterlockedIncrement(&g_nThreadRuns);
    return (UINT)(UINT_PTR)pParam;
}
} // namespace

TEST(Framework, BegunThreadDeletesItselfAndCanBeWaitedForThroughADuplicate) {
    CWinThread* pThread =
        AfxBeginThread(CountingThread, (LPVOID)7, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(pThread, nullptr);
    HANDLE hDup = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), pThread->m_hThread, ::GetCurrentProcess(),
                                  &hDup, 0, FALSE, DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(g_nThreadRuns, 0) << "created suspended";
    ::ResumeThread(hDup);
    EXPECT_EQ(::WaitForSingleObject(hDup, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeThread(hDup, &code);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(g_nThreadRuns, 1);
    ::CloseHandle(hDup);
}

TEST(Framework, StringFormatsLoadsAndGrows) {
    CString s;
    s.Format("%s", "Notepad - a title with %d in it");
    EXPECT_STREQ(s, "Notepad - a title with %d in it");
    std::string longTitle(5000, 'x');
    s.Format("%s", longTitle.c_str());
    EXPECT_EQ(s.GetLength(), 5000);
    EXPECT_TRUE(s.LoadString(IDS_TITLE));
    EXPECT_STREQ(s + "   " + "stage", "Tachyrama   stage");
    EXPECT_FALSE(s.LoadString(9999));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(Framework, GdiWrappersReleaseWhatTheyHold) {
    HBITMAP hHeld = nullptr;
    {
        CBitmap bmp;
        ASSERT_TRUE(bmp.LoadBitmap(IDB_BUTTON_MASK));
        BITMAP bm;
        ASSERT_TRUE(bmp.GetBitmap(&bm));
        EXPECT_EQ(bm.bmWidth, 128);
        EXPECT_EQ(bm.bmHeight, 64);
        hHeld = bmp;
        EXPECT_EQ(::GetObjectType(hHeld), (DWORD)OBJ_BITMAP);
    }
    EXPECT_EQ(::GetObjectType(hHeld), 0u) << "deleted with its wrapper";
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    HDC hdc = dc;
    dc.DeleteDC();
    EXPECT_EQ(::GetObjectType(hdc), 0u);
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEA(IDD_MAIN), (LPCSTR)RT_DIALOG),
              AfxGetModuleState()->m_hCurrentInstanceHandle);
}
