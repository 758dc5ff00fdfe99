// The framework under a real window system: message maps and their routing,
// subclassing and the handle map, dialog data exchange, threads, CString.
#include <gtest/gtest.h>

#include "framework/AfxWin.h"
#include "HandleLedger.h"
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

namespace {

// The C library's allocation as the program imports it, failing on demand.
bool g_bOutOfMemory = false;
void* (*g_pfnMalloc)(size_t) = nullptr;
void* (*g_pfnRealloc)(void*, size_t) = nullptr;
void* FailingMalloc(size_t n) {
    return g_bOutOfMemory ? nullptr : g_pfnMalloc(n);
}
void* FailingRealloc(void* p, size_t n) {
    return g_bOutOfMemory ? nullptr : g_pfnRealloc(p, n);
}

} // namespace

// Text whose memory cannot be had: each operation says so or leaves the
// text as it was, and nothing throws.
TEST(Framework, StringWithoutMemoryKeepsWhatItHad) {
    ASSERT_TRUE(ledger::Patch("msvcrt.dll", "malloc", (void*)&FailingMalloc, (void**)&g_pfnMalloc));
    ASSERT_TRUE(
        ledger::Patch("msvcrt.dll", "realloc", (void*)&FailingRealloc, (void**)&g_pfnRealloc));
    const std::string longText(300, 'x');
    CString s("short");
    g_bOutOfMemory = true;
    s += longText.c_str();
    const bool bAppendKept = s == "short";
    const CString copy(s);
    CString formatted("old");
    formatted.Format("%s", longText.c_str());
    const bool bLoaded = formatted.LoadString(IDS_TITLE);
    char* pszBuffer = s.GetBuffer(200);
    g_bOutOfMemory = false;
    EXPECT_TRUE(bAppendKept);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_TRUE(formatted.IsEmpty());
    EXPECT_FALSE(bLoaded);
    EXPECT_EQ(pszBuffer, nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s += "back";
    EXPECT_STREQ(s, "back");
}

// Wrappers whose memory cannot be had: a handler still gets an object for
// its handle, and a window that cannot be entered in the handle map is not
// attached (the map grows in steps: attach until it would have to).
TEST(Framework, WrappersWithoutMemoryStillStandForTheirHandles) {
    ASSERT_TRUE(ledger::Patch("msvcrt.dll", "malloc", (void*)&FailingMalloc, (void**)&g_pfnMalloc));
    ASSERT_TRUE(
        ledger::Patch("msvcrt.dll", "realloc", (void*)&FailingRealloc, (void**)&g_pfnRealloc));
    const int kWindows = 40;
    std::vector<HWND> windows;
    for (int i = 0; i < kWindows; ++i)
        windows.push_back(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            nullptr, nullptr));
    std::vector<CWnd> wrappers(kWindows);
    HDC hdc = ::GetDC(nullptr);
    CWnd::FromHandle(::GetDesktopWindow()); // the thread's own state exists
    g_bOutOfMemory = true;
    CWnd* pWnd = CWnd::FromHandle(windows[0]);
    CDC* pDC = CDC::FromHandle(hdc);
    int nAttached = 0;
    while (nAttached < kWindows && wrappers[nAttached].Attach(windows[nAttached]))
        ++nAttached;
    g_bOutOfMemory = false;
    ASSERT_NE(pWnd, nullptr);
    EXPECT_EQ(pWnd->m_hWnd, windows[0]);
    ASSERT_NE(pDC, nullptr);
    EXPECT_EQ(pDC->m_hDC, hdc);
    ASSERT_LT(nAttached, kWindows) << "the map never had to grow";
    EXPECT_EQ(wrappers[nAttached].m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(windows[nAttached]), nullptr);
    for (int i = 0; i < nAttached; ++i)
        wrappers[i].Detach();
    ::ReleaseDC(nullptr, hdc);
    for (HWND hWnd : windows)
        ::DestroyWindow(hWnd);
}

namespace {

// A thread's first use of the framework: a wrapper for a window.
struct FirstUse {
    HWND hWnd;
    HWND hSeen;
    bool bThrew;
};

DWORD WINAPI UseFrameworkFirst(LPVOID pParam) {
    FirstUse* pUse = static_cast<FirstUse*>(pParam);
    try {
        CWnd* pWnd = CWnd::FromHandle(pUse->hWnd);
        pUse->hSeen = pWnd ? pWnd->m_hWnd : nullptr;
    } catch (...) {
        pUse->bThrew = true;
    }
    return 0;
}

UINT __cdecl UseFrameworkOnBegunThread(LPVOID pParam) {
    return UseFrameworkFirst(pParam);
}

// Runs the thread (suspended until now) while no memory can be had: true if
// it ended in time and its first use got an object for the window.
bool FirstUseWithoutMemory(HANDLE hThread, FirstUse& use) {
    g_bOutOfMemory = true;
    ::ResumeThread(hThread);
    const bool bEnded = ::WaitForSingleObject(hThread, 5000) == WAIT_OBJECT_0;
    g_bOutOfMemory = false;
    if (!bEnded)
        ::WaitForSingleObject(hThread, INFINITE);
    ::CloseHandle(hThread);
    return bEnded && !use.bThrew && use.hSeen == use.hWnd;
}

} // namespace

// A thread whose first use of the framework finds no memory still gets its
// state and goes on: threads the framework begins (more than it keeps in
// reserve, one after another, so each must give its reserve back) and a
// thread it did not begin.
TEST(Framework, FirstUseOfAThreadWithoutMemoryStillGetsItsState) {
    ASSERT_TRUE(ledger::Patch("msvcrt.dll", "malloc", (void*)&FailingMalloc, (void**)&g_pfnMalloc));
    ASSERT_TRUE(
        ledger::Patch("msvcrt.dll", "realloc", (void*)&FailingRealloc, (void**)&g_pfnRealloc));
    HWND hWnd =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    for (int i = 0; i < 10; ++i) {
        FirstUse use = {hWnd, nullptr, false};
        CWinThread* pThread = AfxBeginThread(UseFrameworkOnBegunThread, &use,
                                             THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
        ASSERT_NE(pThread, nullptr);
        HANDLE hDup = nullptr;
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), pThread->m_hThread,
                                      ::GetCurrentProcess(), &hDup, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS));
        EXPECT_TRUE(FirstUseWithoutMemory(hDup, use)) << "begun thread " << i;
    }
    FirstUse use = {hWnd, nullptr, false};
    HANDLE hThread = ::CreateThread(nullptr, 0, UseFrameworkFirst, &use, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(hThread, nullptr);
    EXPECT_TRUE(FirstUseWithoutMemory(hThread, use)) << "a thread of its own";
    ::DestroyWindow(hWnd);
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

namespace {

HWND CreatePlainWindow() {
    return ::CreateWindowExA(0, "STATIC", "plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

} // namespace

// Outside any message (here, the test's own code), a temporary must survive
// the messages its own calls cause: the first nested SendMessage used to free it.
TEST(Framework, TemporaryTakenOutsideAnyMessageOutlivesTheMessagesItCauses) {
    HWND hPlain = CreatePlainWindow();
    HWND hAttached = CreatePlainWindow();
    ASSERT_TRUE(hPlain && hAttached);
    CWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hAttached));
    CWnd* pTemp = CWnd::FromHandle(hPlain);
    ASSERT_EQ(CWnd::FromHandlePermanent(hPlain), nullptr) << "a temporary";
    wnd.SendMessage(WM_NULL); // handled through the framework, outermost message of the thread
    EXPECT_EQ(pTemp->m_hWnd, hPlain) << "still the object it was";
    EXPECT_EQ(CWnd::FromHandle(hPlain), pTemp) << "the same one for the same window";
    wnd.DestroyWindow();
    ::DestroyWindow(hPlain);
}

// The desktop window cannot be destroyed by the program, so DestroyWindow in
// the destructor fails; the handle map must not keep the freed object.
TEST(Framework, DestructorDetachesEvenWhenTheWindowCannotBeDestroyed) {
    HWND hDesktop = ::GetDesktopWindow();
    CWnd* pWnd = new CWnd;
    ASSERT_TRUE(pWnd->Attach(hDesktop));
    ASSERT_EQ(CWnd::FromHandlePermanent(hDesktop), pWnd);
    delete pWnd;
    EXPECT_TRUE(::IsWindow(hDesktop));
    EXPECT_EQ(CWnd::FromHandlePermanent(hDesktop), nullptr);
}

namespace {

// A dialog object that must never be taken over by a stray WM_INITDIALOG.
CProbeDlg* g_pStrayDlg = nullptr;
int g_nStrayInits = 0;

} // namespace

TEST(Framework, AStrayInitDialogTakesNothingOver) {
    CProbeDlg dlg;
    CProbeDlg stray;
    stray.m_pfnBody = [](CProbeDlg*) { ++g_nStrayInits; };
    g_pStrayDlg = &stray;
    RunDialog(
        [](CProbeDlg* d) {
            // Anyone can send this; lParam names another dialog object.
            d->SendMessage(WM_INITDIALOG, 0, (LPARAM)g_pStrayDlg);
            EXPECT_EQ(CWnd::FromHandlePermanent(d->m_hWnd), d) << "the dialog keeps its object";
            EXPECT_EQ(g_pStrayDlg->m_hWnd, nullptr);
            EXPECT_EQ(g_nStrayInits, 0);
        },
        dlg);
    EXPECT_EQ(stray.m_hWnd, nullptr);
}

namespace {

struct OwnerCallJob {
    CWnd* pWnd;
    DWORD dwRanOn;
    BOOL bResult;
    LRESULT lResult;
    volatile LONG nDone;
};

LRESULT RecordThread(void* pParam) {
    static_cast<OwnerCallJob*>(pParam)->dwRanOn = ::GetCurrentThreadId();
    return 42;
}

DWORD WINAPI CallFromOtherThread(LPVOID pParam) {
    OwnerCallJob* pJob = static_cast<OwnerCallJob*>(pParam);
    pJob->bResult = AfxCallOnOwnerThread(pJob->pWnd, RecordThread, pJob, &pJob->lResult);
    ::InterlockedExchange(&pJob->nDone, 1);
    return 0;
}

volatile LONG g_nBaitCalls = 0;
LRESULT Bait(void*) {
    ::InterlockedIncrement(&g_nBaitCalls);
    return 0;
}

} // namespace

// The call runs on the window's thread; the wake-up message carries nothing,
// so one sent with a record-shaped pointer (function first) runs nothing.
TEST(Framework, OwnerThreadCallsRunOnTheOwnerAndAreNeverTakenFromAMessage) {
    HWND hWnd = CreatePlainWindow();
    CWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    OwnerCallJob job = {&wnd, 0, FALSE, 0, 0};
    HANDLE hThread = ::CreateThread(nullptr, 0, CallFromOtherThread, &job, 0, nullptr);
    for (const DWORD dwStart = ::GetTickCount(); !job.nDone && ::GetTickCount() - dwStart < 5000;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
        ::Sleep(1);
    }
    EXPECT_EQ(::WaitForSingleObject(hThread, 5000), WAIT_OBJECT_0);
    ::CloseHandle(hThread);
    EXPECT_TRUE(job.bResult);
    EXPECT_EQ(job.lResult, 42);
    EXPECT_EQ(job.dwRanOn, ::GetCurrentThreadId());

    struct {
        AFX_OWNERCALL pfn;
        void* pParam;
    } bait = {Bait, nullptr};
    const UINT nWake = ::RegisterWindowMessageA("AfxOwnerThreadCall");
    ::SendMessageA(hWnd, nWake, (WPARAM)&bait, (LPARAM)&bait);
    EXPECT_EQ(g_nBaitCalls, 0);

    wnd.DestroyWindow();
    EXPECT_FALSE(AfxCallOnOwnerThread(&wnd, Bait, nullptr, nullptr)) << "no window, no call";
    EXPECT_EQ(g_nBaitCalls, 0);
}

namespace {

// Waits until a message sent from another thread waits for this one.
void WaitForASend() {
    for (const DWORD dwStart = ::GetTickCount(); ::GetTickCount() - dwStart < 5000; ::Sleep(1))
        if (HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)
            return;
}

// A call queued while the owner thread runs an earlier one is taken by the
// earlier wake-up; its caller's own wake-up is answered while the call still
// runs. The caller must then wait answering sent messages: this call sends to
// the caller's window.
struct SendBackJob {
    CWnd* pWnd;
    HWND hCallerWnd;
    BOOL bAnswered;
};
SendBackJob g_sendBack = {};

LRESULT SendToTheCaller(void*) {
    // Delivers the caller's wake-up, which finds nothing left to run.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    DWORD_PTR dwResult = 0;
    g_sendBack.bAnswered = ::SendMessageTimeoutA(g_sendBack.hCallerWnd, WM_NULL, 0, 0, SMTO_NORMAL,
                                                 3000, &dwResult) != 0;
    return 0;
}

DWORD WINAPI CallThatSendsBack(LPVOID) {
    g_sendBack.hCallerWnd = CreatePlainWindow();
    AfxCallOnOwnerThread(g_sendBack.pWnd, SendToTheCaller, nullptr, nullptr);
    ::DestroyWindow(g_sendBack.hCallerWnd);
    return 0;
}

// Runs on the owner thread: starts the caller and returns once the caller's
// wake-up is waiting (its call is queued by then), without answering it.
LRESULT StartTheCaller(void* pParam) {
    *static_cast<HANDLE*>(pParam) =
        ::CreateThread(nullptr, 0, CallThatSendsBack, nullptr, 0, nullptr);
    WaitForASend();
    return 0;
}

} // namespace

TEST(Framework, CallerWhoseCallRunsAlreadyAnswersWhatTheCallSendsIt) {
    HWND hWnd = CreatePlainWindow();
    CWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    g_sendBack = {&wnd, nullptr, FALSE};
    HANDLE hCaller = nullptr;
    ASSERT_TRUE(AfxCallOnOwnerThread(&wnd, StartTheCaller, &hCaller, nullptr));
    ASSERT_NE(hCaller, nullptr);
    EXPECT_EQ(::WaitForSingleObject(hCaller, 10000), WAIT_OBJECT_0);
    ::CloseHandle(hCaller);
    EXPECT_TRUE(g_sendBack.bAnswered);
    wnd.DestroyWindow();
}

// The window goes while a call for it waits: the call is withdrawn, never
// runs, and its caller is told so at once.
TEST(Framework, CallWhoseWindowGoesFirstIsWithdrawn) {
    HWND hWnd = CreatePlainWindow();
    CWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));
    OwnerCallJob job = {&wnd, 0, TRUE, 0, 0};
    HANDLE hCaller = ::CreateThread(nullptr, 0, CallFromOtherThread, &job, 0, nullptr);
    WaitForASend();
    wnd.DestroyWindow();
    // Answers the wake-up, which finds its window gone.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ASSERT_EQ(::WaitForSingleObject(hCaller, 5000), WAIT_OBJECT_0) << "the caller waits for ever";
    ::CloseHandle(hCaller);
    EXPECT_FALSE(job.bResult);
    EXPECT_EQ(job.dwRanOn, 0u);
}
