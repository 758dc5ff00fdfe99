#include "framework/AfxWin.h"

#include "framework/AfxSystemDll.h"
#include "framework/CheckedArray.h"

#include <process.h>

#include <cstddef>
#include <cstdlib>
#include <new>

// ---------------------------------------------------------------------------
// Per-thread state: the message being processed (for Default) and the
// temporary wrapper objects made by FromHandle, freed when the outermost
// message of the thread has been handled.

namespace {

// Objects made where there may be no memory. Not new (std::nothrow): it
// reports a failure by throwing inside, and on a thread that has never thrown
// the first throw itself needs memory, without which the process ends.
template <class T> T* MakeOrNull() {
    void* p = std::malloc(sizeof(T));
    return p ? new (p) T : nullptr;
}

template <class T> void Unmake(T* p) {
    if (!p)
        return;
    p->~T();
    std::free(p);
}

struct TempObject {
    CWnd* pWnd;
    CDC* pDC;
    bool bInMessage; // taken while a message was handled
};

struct ThreadState {
    MSG current = {};
    UINT nCtlColorKind = 0;
    int nDepth = 0;
    CheckedList<TempObject> temporaries;
    CDialog* pCreatingDialog = nullptr; // whose DoModal waits for its WM_INITDIALOG
    // Handed out when a temporary cannot be had: the handler still gets an
    // object for the handle (a nested look-up that also finds no memory
    // reuses it), and the program goes on.
    CWnd spareWnd;
    CDC spareDC;
    ~ThreadState() { Clear(); }
    // As new, for the next thread; the list keeps its memory.
    void Clear() {
        current = {};
        nCtlColorKind = 0;
        nDepth = 0;
        temporaries.Truncate(0);
        pCreatingDialog = nullptr;
        spareWnd.m_hWnd = nullptr; // neither spare owns its handle
        spareDC.m_hDC = nullptr;
    }
};

// Where each thread finds its state: a slot of the system's own, not the
// compiler's thread_local, which takes memory on a thread's first use and
// ends the process when there is none.
DWORD StateSlot() {
    static const DWORD dwSlot = ::TlsAlloc();
    return dwSlot;
}

// Handed out when a thread's state cannot be had from the heap, each to one
// thread; a thread the framework started gives its spare back as it ends.
const int kSpareStates = 4;
ThreadState g_spareStates[kSpareStates];
volatile LONG g_nSpareTaken[kSpareStates];

ThreadState* TakeSpareState() {
    for (;;) {
        for (int i = 0; i < kSpareStates; ++i)
            if (::InterlockedCompareExchange(&g_nSpareTaken[i], 1, 0) == 0)
                return &g_spareStates[i];
        // Every spare is held by a thread that has no memory either: this
        // one waits until memory or a spare is free again, rather than fail.
        ::Sleep(10);
        if (ThreadState* p = MakeOrNull<ThreadState>())
            return p;
    }
}

void GiveBackState(ThreadState* p) {
    for (int i = 0; i < kSpareStates; ++i)
        if (p == &g_spareStates[i]) {
            p->Clear();
            ::InterlockedExchange(&g_nSpareTaken[i], 0);
            return;
        }
    Unmake(p);
}

ThreadState* CurrentState() {
    return static_cast<ThreadState*>(::TlsGetValue(StateSlot()));
}

ThreadState& State() {
    ThreadState* p = CurrentState();
    if (!p) {
        // One per thread that handles messages; kept for its life.
        p = MakeOrNull<ThreadState>();
        if (!p)
            p = TakeSpareState();
        ::TlsSetValue(StateSlot(), p);
    }
    return *p;
}

void DeleteTemporary(TempObject& t) {
    if (t.pWnd)
        t.pWnd->m_hWnd = nullptr; // a temporary never owns its window
    Unmake(t.pWnd);
    if (t.pDC)
        t.pDC->m_hDC = nullptr;
    Unmake(t.pDC);
}

// At the end of the outermost message only the temporaries taken inside
// messages go: a caller outside any message may still hold its own across
// the messages its calls cause.
void DeleteTemporaries(bool bAll) {
    ThreadState& st = State();
    size_t nKept = 0;
    for (TempObject& t : st.temporaries) {
        if (bAll || t.bInMessage)
            DeleteTemporary(t);
        else
            st.temporaries[nKept++] = t;
    }
    st.temporaries.Truncate(nKept);
}

// False, keeping nothing, when the list cannot grow.
bool AddTemporary(const TempObject& t) {
    ThreadState& st = State();
    TempObject entry = t;
    entry.bInMessage = st.nDepth > 0;
    return st.temporaries.Add(entry);
}

// The permanent map from window handles to the objects attached to them
// (the dialog and its controls: a short list).
class HandleMap {
  public:
    HandleMap() { InitializeCriticalSection(&m_cs); }
    ~HandleMap() { DeleteCriticalSection(&m_cs); }
    CWnd* Find(HWND h) {
        EnterCriticalSection(&m_cs);
        const size_t i = IndexOf(h);
        CWnd* p = i < m_entries.size() ? m_entries[i].pWnd : nullptr;
        LeaveCriticalSection(&m_cs);
        return p;
    }
    // False when the map cannot grow.
    bool Set(HWND h, CWnd* p) {
        bool bSet = true;
        EnterCriticalSection(&m_cs);
        const size_t i = IndexOf(h);
        if (i < m_entries.size() && p)
            m_entries[i].pWnd = p;
        else if (i < m_entries.size())
            m_entries.RemoveAt(i);
        else if (p)
            bSet = m_entries.Add({h, p});
        LeaveCriticalSection(&m_cs);
        return bSet;
    }

  private:
    struct Entry {
        HWND hWnd;
        CWnd* pWnd;
    };
    size_t IndexOf(HWND h) const {
        size_t i = 0;
        while (i < m_entries.size() && m_entries[i].hWnd != h)
            ++i;
        return i;
    }
    CRITICAL_SECTION m_cs;
    CheckedList<Entry> m_entries;
};

HandleMap& Handles() {
    static HandleMap map;
    return map;
}

CWinApp* g_pApp = nullptr;
AFX_MODULE_STATE g_moduleState = {nullptr, nullptr};

// The owner-thread calls (with the thread code below).
UINT OwnerCallMessage();
LRESULT RunOwnerCalls(HWND hWnd);

} // namespace

UINT AfxCtlColorKind() {
    return State().nCtlColorKind;
}

// ---------------------------------------------------------------------------
// Message maps

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT nMessage, UINT nCode, UINT nID) const {
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap;
         pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->pfnThunk; ++e) {
            if (e->nMessage != nMessage)
                continue;
            if (nMessage == WM_COMMAND && (e->nCode != nCode || e->nID != nID))
                continue;
            if (nMessage == WM_REFLECT_BASE + WM_COMMAND && e->nCode != nCode)
                continue;
            return e;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode) {
    const AFX_MSGMAP_ENTRY* e = FindEntry(WM_COMMAND, (UINT)nCode, nID);
    return e ? (BOOL)e->pfnThunk(this, 0, 0) : FALSE;
}

// ---------------------------------------------------------------------------
// CWnd

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    if (!m_hWnd || FromHandlePermanent(m_hWnd) != this)
        return;
    DestroyWindow();
    // DestroyWindow fails for a window of another thread; the window then
    // outlives this object and must not reach it any more.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        if ((WNDPROC)::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) == AfxWndProc && m_pfnSuper)
            ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
        Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    return hWnd ? Handles().Find(hWnd) : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd)
        return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd))
        return p;
    ThreadState& st = State();
    // Outside any message the temporary stays until the thread ends: the
    // same one is handed out again, so repeated look-ups do not pile up.
    if (st.nDepth == 0)
        for (const TempObject& t : st.temporaries)
            if (t.pWnd && !t.bInMessage && t.pWnd->m_hWnd == hWnd)
                return t.pWnd;
    CWnd* p = MakeOrNull<CWnd>();
    if (p) {
        p->m_hWnd = hWnd;
        if (AddTemporary({p, nullptr, false}))
            return p;
        p->m_hWnd = nullptr;
        Unmake(p);
    }
    st.spareWnd.m_hWnd = hWnd;
    return &st.spareWnd;
}

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd)
        return FALSE;
    if (!Handles().Set(hWnd, this))
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h)
        Handles().Set(h, nullptr);
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd))
        return FALSE;
    PreSubclassWindow();
    m_pfnSuper = (WNDPROC)::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    HWND h = ::GetDlgItem(pParent->m_hWnd, (int)nID);
    return h ? SubclassWindow(h) : FALSE;
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG& m = State().current;
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 1;
        return TRUE;
    }
    // Owner-drawn children draw and measure themselves.
    HWND hChild = nullptr;
    if (message == WM_DRAWITEM)
        hChild = ((LPDRAWITEMSTRUCT)lParam)->hwndItem;
    else if (message == WM_MEASUREITEM)
        hChild = ::GetDlgItem(m_hWnd, (int)((LPMEASUREITEMSTRUCT)lParam)->CtlID);
    if (CWnd* pChild = FromHandlePermanent(hChild)) {
        if (pChild->OnChildNotify(message, wParam, lParam, pResult))
            return TRUE;
    }
    UINT nLookup = message;
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        State().nCtlColorKind = message - WM_CTLCOLORMSGBOX;
        nLookup = WM_CTLCOLOR;
    }
    const AFX_MSGMAP_ENTRY* e = FindEntry(nLookup, 0, 0);
    if (!e)
        return FALSE;
    *pResult = e->pfnThunk(this, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    // A control hears its own notification first and may keep it.
    if (CWnd* pChild = FromHandlePermanent((HWND)lParam)) {
        LRESULT lResult = 0;
        if (pChild->OnChildNotify(WM_COMMAND, wParam, lParam, &lResult))
            return TRUE;
    }
    return OnCmdMsg(nID, nCode);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT* pResult) {
    if (message != WM_COMMAND)
        return FALSE;
    const AFX_MSGMAP_ENTRY* e = FindEntry(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0);
    if (!e)
        return FALSE;
    *pResult = e->pfnThunk(this, 0, 0);
    return *pResult != 0;
}

void CWnd::OnNcDestroy() {
    // Give the window its own procedure back and let go of it.
    if ((WNDPROC)::GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) == AfxWndProc && m_pfnSuper)
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
    if (g_pApp && g_pApp->m_pMainWnd == this)
        g_pApp->m_pMainWnd = nullptr;
    Detach();
    m_pfnSuper = nullptr;
    PostNcDestroy();
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    ThreadState& st = State();
    MSG saved = st.current;
    st.current = {hWnd, message, wParam, lParam, 0, {0, 0}};
    ++st.nDepth;
    const UINT nOwnerCall = OwnerCallMessage();
    LRESULT lResult = nOwnerCall && message == nOwnerCall
                          ? RunOwnerCalls(hWnd)
                          : pWnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        pWnd->OnNcDestroy();
    st.current = saved;
    if (--st.nDepth == 0)
        DeleteTemporaries(false);
    return lResult;
}

void CWnd::GetWindowText(CString& rString) const {
    int n = ::GetWindowTextLengthA(m_hWnd);
    char* pszBuffer = rString.GetBuffer(n + 1);
    if (pszBuffer)
        ::GetWindowTextA(m_hWnd, pszBuffer, n + 1);
    rString.ReleaseBuffer();
}

CWnd* CWnd::GetDlgItem(int nID) const {
    return FromHandle(::GetDlgItem(m_hWnd, nID));
}

static BOOL ModifyLong(HWND hWnd, int nIndex, DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    DWORD dwStyle = (DWORD)::GetWindowLongPtrA(hWnd, nIndex);
    DWORD dwNew = (dwStyle & ~dwRemove) | dwAdd;
    if (dwStyle == dwNew)
        return FALSE;
    ::SetWindowLongPtrA(hWnd, nIndex, (LONG_PTR)dwNew);
    if (nFlags)
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    return ModifyLong(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    return ModifyLong(m_hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd)
        return;
    rControl.SubclassDlgItem((UINT)nIDC, pDX->m_pDlgWnd);
}

// ---------------------------------------------------------------------------
// CDialog
//
// The dialog manager owns the window procedure of a dialog; the dialog object
// takes it over (subclasses it) when WM_INITDIALOG arrives, so from then on
// every message goes through the message map first and Default() reaches the
// dialog manager's own handling.

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return FALSE;
    // Anyone can send a dialog WM_INITDIALOG with any lParam: only the dialog
    // this thread's DoModal is creating, and only once, is taken from it.
    ThreadState& st = State();
    CDialog* pDlg = st.pCreatingDialog;
    if (!pDlg || reinterpret_cast<LPARAM>(pDlg) != lParam || CWnd::FromHandlePermanent(hWnd))
        return FALSE;
    st.pCreatingDialog = nullptr;
    if (!pDlg->SubclassWindow(hWnd))
        return TRUE;
    // Run OnInitDialog inside a framework dispatch, so that Default() and the
    // temporaries behave as in any other handler.
    MSG saved = st.current;
    st.current = {hWnd, message, 0, lParam, 0, {0, 0}};
    ++st.nDepth;
    BOOL bResult = pDlg->OnInitDialog();
    st.current = saved;
    if (--st.nDepth == 0)
        DeleteTemporaries(false);
    return bResult;
}

INT_PTR CDialog::DoModal() {
    LPCSTR lpszTemplate = MAKEINTRESOURCEA(m_nIDTemplate);
    HINSTANCE hInst = AfxFindResourceHandle(lpszTemplate, (LPCSTR)RT_DIALOG);
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    ThreadState& st = State();
    CDialog* pOuter = st.pCreatingDialog;
    st.pCreatingDialog = this;
    INT_PTR nResult = ::DialogBoxParamA(hInst, lpszTemplate, hParent, AfxDlgProc, (LPARAM)this);
    st.pCreatingDialog = pOuter;
    return nResult;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

HBRUSH CDialog::OnCtlColor(CDC*, CWnd*, UINT) {
    return (HBRUSH)Default();
}

// Commands the dialog does not handle go on to the application object.
BOOL CDialog::OnCmdMsg(UINT nID, int nCode) {
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    return g_pApp ? g_pApp->OnCmdMsg(nID, nCode) : FALSE;
}

// ---------------------------------------------------------------------------
// Controls

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, pResult);
    DrawItem((LPDRAWITEMSTRUCT)lParam);
    *pResult = TRUE;
    return TRUE;
}

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_DRAWITEM)
        DrawItem((LPDRAWITEMSTRUCT)lParam);
    else if (message == WM_MEASUREITEM)
        MeasureItem((LPMEASUREITEMSTRUCT)lParam);
    else
        return CWnd::OnChildNotify(message, wParam, lParam, pResult);
    *pResult = TRUE;
    return TRUE;
}

void CListBox::GetText(int nIndex, CString& rString) const {
    LRESULT n = ::SendMessageA(m_hWnd, LB_GETTEXTLEN, (WPARAM)nIndex, 0);
    if (n == LB_ERR) {
        rString.Empty();
        return;
    }
    char* pszBuffer = rString.GetBuffer((int)n + 1);
    if (pszBuffer)
        ::SendMessageA(m_hWnd, LB_GETTEXT, (WPARAM)nIndex, (LPARAM)pszBuffer);
    rString.ReleaseBuffer();
}

UINT CListBox::ItemFromPoint(CPoint pt, BOOL& bOutside) const {
    DWORD dw = (DWORD)::SendMessageA(m_hWnd, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
    bOutside = HIWORD(dw) != 0;
    return LOWORD(dw);
}

// ---------------------------------------------------------------------------
// Threads and the application

namespace {

struct ThreadStart {
    CWinThread* pThread;
    AFX_THREADPROC pfn;
    LPVOID pParam;
};

unsigned __stdcall ThreadEntry(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    UINT nResult = start.pfn(start.pParam);
    if (start.pThread->m_bAutoDelete)
        delete start.pThread;
    if (ThreadState* p = CurrentState()) {
        DeleteTemporaries(true);
        GiveBackState(p);
        ::TlsSetValue(StateSlot(), nullptr);
    }
    return nResult;
}

// A call waiting for its window's thread. It lives on the caller's stack,
// which stays put until the call is done or withdrawn.
struct OwnerCall {
    HWND hWnd;
    AFX_OWNERCALL pfn;
    void* pParam;
    LRESULT lResult;
    HANDLE hDone; // set by the owner thread once the call has run
};

class OwnerCallTable {
  public:
    OwnerCallTable() { InitializeCriticalSection(&m_cs); }
    ~OwnerCallTable() { DeleteCriticalSection(&m_cs); }
    // FALSE when the table cannot grow.
    BOOL Add(OwnerCall* pCall) {
        EnterCriticalSection(&m_cs);
        const bool bAdded = m_calls.Add(pCall);
        LeaveCriticalSection(&m_cs);
        return bAdded;
    }
    // The oldest queued call for the window, now out of the table, or null.
    OwnerCall* Take(HWND hWnd) {
        EnterCriticalSection(&m_cs);
        OwnerCall* pFound = nullptr;
        for (size_t i = 0; i < m_calls.size(); ++i) {
            if (m_calls[i]->hWnd == hWnd) {
                pFound = m_calls[i];
                m_calls.RemoveAt(i);
                break;
            }
        }
        LeaveCriticalSection(&m_cs);
        return pFound;
    }
    // TRUE when the call was still queued (it never ran and now never will).
    BOOL Withdraw(OwnerCall* pCall) {
        EnterCriticalSection(&m_cs);
        BOOL bFound = FALSE;
        for (size_t i = 0; i < m_calls.size(); ++i) {
            if (m_calls[i] == pCall) {
                m_calls.RemoveAt(i);
                bFound = TRUE;
                break;
            }
        }
        LeaveCriticalSection(&m_cs);
        return bFound;
    }

  private:
    CRITICAL_SECTION m_cs;
    CheckedList<OwnerCall*> m_calls;
};

OwnerCallTable& OwnerCalls() {
    static OwnerCallTable table;
    return table;
}

// A registered number, so that it cannot clash with a message of any window
// class the framework subclasses.
UINT OwnerCallMessage() {
    static const UINT nMessage = ::RegisterWindowMessageA("AfxOwnerThreadCall");
    return nMessage;
}

// Runs on the window's own thread, whoever sent the wake-up: every call
// queued for this window, once each.
LRESULT RunOwnerCalls(HWND hWnd) {
    while (OwnerCall* pCall = OwnerCalls().Take(hWnd)) {
        pCall->lResult = pCall->pfn(pCall->pParam);
        ::SetEvent(pCall->hDone); // the caller may go from here on
    }
    return 0;
}

} // namespace

DWORD AfxWaitAnsweringSentMessages(HANDLE hObject, DWORD dwMs) {
    const DWORD nObjects = hObject ? 1 : 0;
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        DWORD dwLeft = INFINITE;
        if (dwMs != INFINITE) {
            const DWORD dwElapsed = ::GetTickCount() - dwStart;
            if (dwElapsed >= dwMs)
                return WAIT_TIMEOUT;
            dwLeft = dwMs - dwElapsed;
        }
        const DWORD dwResult =
            ::MsgWaitForMultipleObjects(nObjects, &hObject, FALSE, dwLeft, QS_SENDMESSAGE);
        if (dwResult != WAIT_OBJECT_0 + nObjects)
            return dwResult;
        // Peeking delivers the sent messages; nothing is removed.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

BOOL AfxIsWindowOfThisThread(HWND hWnd) {
    return ::IsWindow(hWnd) && ::GetWindowThreadProcessId(hWnd, nullptr) == ::GetCurrentThreadId();
}

BOOL AfxCallOnOwnerThread(CWnd* pWnd, AFX_OWNERCALL pfn, void* pParam, LRESULT* pResult) {
    const HWND hWnd = pWnd ? pWnd->m_hWnd : nullptr;
    const UINT nMessage = OwnerCallMessage();
    if (!hWnd || !pfn || !nMessage || CWnd::FromHandlePermanent(hWnd) != pWnd)
        return FALSE;
    OwnerCall call = {hWnd, pfn, pParam, 0, ::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    if (!call.hDone)
        return FALSE;
    if (!OwnerCalls().Add(&call)) {
        ::CloseHandle(call.hDone);
        return FALSE;
    }
    // On the owner thread this runs the call at once; from any other it waits
    // until the owner thread takes it, between two of its messages.
    ::SendMessageA(hWnd, nMessage, 0, 0);
    const BOOL bRan = !OwnerCalls().Withdraw(&call); // else the window went first
    // A call taken by an earlier wake-up may still run on the owner thread,
    // which may send to this one meanwhile.
    if (bRan)
        AfxWaitAnsweringSentMessages(call.hDone);
    ::CloseHandle(call.hDone);
    if (bRan && pResult)
        *pResult = call.lResult;
    return bRan;
}

CWinThread::~CWinThread() {
    if (m_hThread && this != g_pApp)
        ::CloseHandle(m_hThread);
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                           UINT nStackSize, DWORD dwCreateFlags,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    CWinThread* pThread = new (std::nothrow) CWinThread;
    ThreadStart* pStart = new (std::nothrow) ThreadStart{pThread, pfnThreadProc, pParam};
    unsigned nThreadID = 0;
    // Always start suspended, so the object is complete before the thread runs.
    HANDLE h = pThread && pStart ? (HANDLE)_beginthreadex(lpSecurityAttrs, nStackSize, ThreadEntry,
                                                          pStart, CREATE_SUSPENDED, &nThreadID)
                                 : nullptr;
    if (!h) {
        delete pStart;
        delete pThread;
        return nullptr;
    }
    pThread->m_hThread = h;
    ::SetThreadPriority(h, nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ::ResumeThread(h);
    return pThread;
}

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

// The program ships no help file, so there is nothing to open.
void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return g_pApp;
}

AFX_MODULE_STATE* AfxGetModuleState() {
    if (!g_moduleState.m_hCurrentInstanceHandle) {
        HINSTANCE h = ::GetModuleHandleA(nullptr);
        g_moduleState = {h, h};
    }
    return &g_moduleState;
}

// The program keeps every resource in its own module.
HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR) {
    return AfxGetModuleState()->m_hCurrentResourceHandle;
}

void AfxEnableControlContainer() {}

BOOL Enable3dControls() {
    return TRUE;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    AfxLimitDllSearch(); // before anything more is loaded
    g_moduleState = {hInstance, hInstance};
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return -1;
    pApp->m_hInstance = hInstance;
    int nResult = 0;
    if (!pApp->InitInstance())
        nResult = pApp->ExitInstance();
    DeleteTemporaries(true);
    return nResult;
}

// ---------------------------------------------------------------------------
// Temporaries of the GDI wrappers live with the window ones.

CDC* CDC::FromHandle(HDC hDC) {
    if (!hDC)
        return nullptr;
    CDC* p = MakeOrNull<CDC>();
    if (p) {
        p->m_hDC = hDC;
        if (AddTemporary({nullptr, p, false}))
            return p;
        p->m_hDC = nullptr;
        Unmake(p);
    }
    ThreadState& st = State();
    st.spareDC.m_hDC = hDC;
    return &st.spareDC;
}
