// The application framework: a small class library for dialog-based Win32
// programs. It offers the classes and calls the rest of the program is written
// against (application object, windows, dialogs, controls, message maps,
// dialog data exchange, threads) and nothing more.
//
// How it fits together, in one paragraph: every window that a C++ object
// stands for is in the handle map and has its window procedure replaced by
// AfxWndProc ("subclassed"). AfxWndProc finds the object and calls its virtual
// WindowProc, which looks the message up in the class's message map (a static
// table per class, chained to the base class's table) and calls the handler.
// A handler that wants the system's own behaviour calls Default(), which hands
// the message being processed to the window procedure that was replaced.
// Child controls get their owner-draw and reflected notifications through
// OnChildNotify, so a control class draws itself.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include "framework/AfxString.h"

class CWnd;
class CDC;
class CWinApp;
class CDataExchange;

struct CPoint : POINT {
    CPoint() { x = y = 0; }
    CPoint(int nX, int nY) { x = nX, y = nY; }
    explicit CPoint(LPARAM lParam) { x = (short)LOWORD(lParam), y = (short)HIWORD(lParam); }
};

struct CRect : RECT {
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// ---------------------------------------------------------------------------
// Message maps

class CCmdTarget;

// One table row: which message (and, for WM_COMMAND, which control and
// notification) and the thunk that unpacks wParam/lParam for the handler.
typedef LRESULT (*AFX_THUNK)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode; // notification code, for WM_COMMAND and reflected entries
    UINT nID;   // control or command identifier, for WM_COMMAND entries
    AFX_THUNK pfnThunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Notifications a control sends to its parent come back to the control first
// under this offset ("reflection"), so that the control can handle them itself.
#define WM_REFLECT_BASE 0xBC00
// All WM_CTLCOLORxxx messages arrive at the handler as this one, with the kind.
#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019
#endif

#define DECLARE_MESSAGE_MAP()                                                                      \
  protected:                                                                                       \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        typedef theClass ThisClass;                                                                \
        typedef baseClass TheBaseClass;                                                            \
        static_assert(sizeof(ThisClass*) != 0, "");                                                \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, nullptr }                                                                           \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

#define AFX_THIS(p) static_cast<ThisClass*>(p)
#define AFX_ENTRY(msg, body)                                                                       \
    {msg, 0, 0, [](CCmdTarget* p, WPARAM wParam, LPARAM lParam) -> LRESULT {                       \
         (void)wParam, (void)lParam;                                                               \
         body;                                                                                     \
     }},

#define ON_WM_PAINT() AFX_ENTRY(WM_PAINT, AFX_THIS(p)->OnPaint(); return 0)
#define ON_WM_DESTROY() AFX_ENTRY(WM_DESTROY, AFX_THIS(p)->OnDestroy(); return 0)
#define ON_WM_QUERYDRAGICON()                                                                      \
    AFX_ENTRY(WM_QUERYDRAGICON, return (LRESULT)AFX_THIS(p)->OnQueryDragIcon())
#define ON_WM_ERASEBKGND()                                                                         \
    AFX_ENTRY(WM_ERASEBKGND, return AFX_THIS(p)->OnEraseBkgnd(CDC::FromHandle((HDC)wParam)))
#define AFX_MOUSE_ENTRY(msg, fn)                                                                   \
    AFX_ENTRY(msg, AFX_THIS(p)->fn((UINT)wParam, CPoint(lParam)); return 0)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_KILLFOCUS()                                                                          \
    AFX_ENTRY(WM_KILLFOCUS, AFX_THIS(p)->OnKillFocus(CWnd::FromHandle((HWND)wParam)); return 0)
#define ON_WM_KEYDOWN()                                                                            \
    AFX_ENTRY(WM_KEYDOWN, AFX_THIS(p)->OnKeyDown((UINT)wParam, LOWORD(lParam), HIWORD(lParam));    \
              return 0)
#define ON_WM_VSCROLL()                                                                            \
    AFX_ENTRY(WM_VSCROLL, AFX_THIS(p)->OnVScroll(LOWORD(wParam), (short)HIWORD(wParam),            \
                                                 CWnd::FromHandle((HWND)lParam));                  \
              return 0)
#define ON_WM_SYSCOMMAND()                                                                         \
    AFX_ENTRY(WM_SYSCOMMAND, AFX_THIS(p)->OnSysCommand((UINT)wParam, lParam); return 0)
#define ON_WM_CONTEXTMENU()                                                                        \
    AFX_ENTRY(WM_CONTEXTMENU,                                                                      \
              AFX_THIS(p)->OnContextMenu(CWnd::FromHandle((HWND)wParam), CPoint(lParam));          \
              return 0)
// Every WM_CTLCOLORxxx reaches this one entry; AfxCtlColorKind() tells which.
#define ON_WM_CTLCOLOR()                                                                           \
    AFX_ENTRY(WM_CTLCOLOR, return (LRESULT)AFX_THIS(p)->OnCtlColor(CDC::FromHandle((HDC)wParam),   \
                                                                   CWnd::FromHandle((HWND)lParam), \
                                                                   AfxCtlColorKind()))
#define ON_MESSAGE(msg, fn) AFX_ENTRY(msg, return AFX_THIS(p)->fn(wParam, lParam))

#define ON_CONTROL(code, id, fn)                                                                   \
    {WM_COMMAND, (UINT)(code), (UINT)(id), [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {          \
         AFX_THIS(p)->fn();                                                                        \
         return TRUE;                                                                              \
     }},
#define ON_COMMAND(id, fn) ON_CONTROL(0, id, fn)
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(LBN_DBLCLK, id, fn)
// A reflected notification whose handler decides (TRUE) that the parent
// does not hear of it.
#define ON_CONTROL_REFLECT_EX(code, fn)                                                            \
    {WM_REFLECT_BASE + WM_COMMAND, (UINT)(code), 0,                                                \
     [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT { return AFX_THIS(p)->fn(); }},

UINT AfxCtlColorKind(); // the CTLCOLOR_xxx kind of the WM_CTLCOLOR being handled

// ---------------------------------------------------------------------------

class CCmdTarget {
  public:
    virtual ~CCmdTarget() = default;
    // Routes a command (WM_COMMAND with this identifier and code) through the
    // message map; TRUE when a handler took it.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    const AFX_MSGMAP_ENTRY* FindEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

class CWnd : public CCmdTarget {
  public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object that stands for a window: the permanent one if the window is
    // attached, else a temporary. A temporary taken while a message is handled
    // lives until the thread's outermost message ends; one taken outside any
    // message lives as long as its thread (one per window), so no message
    // handled meanwhile can free it.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    BOOL Attach(HWND hWnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void PreSubclassWindow() {}
    virtual void PostNcDestroy() {}
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Thin wrappers, named as the Win32 calls they make.
    CWnd* GetDlgItem(int nID) const;
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE) {
        ::InvalidateRect(m_hWnd, lpRect, bErase);
    }
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrA(m_hWnd, GWL_STYLE); }
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
        return (HICON)SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, (LPARAM)hIcon);
    }
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
        return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx,
                              cy, nFlags);
    }
    void ScreenToClient(LPPOINT lpPoint) const { ::ScreenToClient(m_hWnd, lpPoint); }
    void ClientToScreen(LPPOINT lpPoint) const { ::ClientToScreen(m_hWnd, lpPoint); }
    BOOL DestroyWindow();

  protected:
    WNDPROC m_pfnSuper = nullptr; // the window procedure that subclassing replaced

    DECLARE_MESSAGE_MAP()
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CCmdTarget;

  private:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    void OnNcDestroy();
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

class CDataExchange {
  public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds a member control object to the dialog's control with that identifier
// (once): the control is subclassed, so its class's message map applies.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

    // Runs the dialog modally from its template; returns what EndDialog gave.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }
    virtual BOOL OnInitDialog();
    BOOL OnCmdMsg(UINT nID, int nCode) override;

  protected:
    virtual void OnOK();
    virtual void OnCancel();
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

class CButton : public CWnd {
  public:
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CListBox : public CWnd {
  public:
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    int GetCount() const { return (int)::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0); }
    void GetText(int nIndex, CString& rString) const;
    // The item under a client point; bOutside is TRUE when the point is not
    // on that item (for example below the last one).
    UINT ItemFromPoint(CPoint pt, BOOL& bOutside) const;
};

class CToolTipCtrl : public CWnd {};

// ---------------------------------------------------------------------------
// Application object, threads, module state

class CWinThread : public CCmdTarget {
  public:
    HANDLE m_hThread = nullptr;
    BOOL m_bAutoDelete = TRUE; // delete the object (and close its handle) when the thread ends
    CWnd* m_pMainWnd = nullptr;

    ~CWinThread() override;
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
};

typedef UINT(__cdecl* AFX_THREADPROC)(LPVOID);

// Waits until hObject is signalled, abandoned or fails (with no object, until
// dwMs have passed) while still answering the messages other threads send to
// this one, so that a thread waiting here for another can never deadlock with
// one waiting in a send to it. Posted messages stay queued: no command or
// report is handled out of turn. WAIT_TIMEOUT once dwMs are up.
DWORD AfxWaitAnsweringSentMessages(HANDLE hObject, DWORD dwMs = INFINITE);
// Whether hWnd is a window of the calling thread (which alone may change or
// destroy it).
BOOL AfxIsWindowOfThisThread(HWND hWnd);

// Runs pfn(pParam) on the thread that owns pWnd's window and waits for it, so
// that another thread can read that window and what its owner keeps beside it
// in one step. The message that wakes the owner thread carries nothing: the
// call waits in a table here, and the owner runs only calls it finds there for
// that window, each once, so a message from anywhere else can run nothing but
// a call this program queued. FALSE (nothing ran) when pWnd has no window of
// the framework's or the window went away meanwhile.
typedef LRESULT (*AFX_OWNERCALL)(void* pParam);
BOOL AfxCallOnOwnerThread(CWnd* pWnd, AFX_OWNERCALL pfn, void* pParam, LRESULT* pResult);

// Starts a worker thread running pfnThreadProc(pParam). The returned object
// deletes itself when the thread ends (m_bAutoDelete), so a caller that wants
// to wait for the thread must duplicate m_hThread before resuming it.
CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

class CWinApp : public CWinThread {
  public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    HINSTANCE m_hInstance = nullptr;
    LPCSTR m_pszAppName;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

  protected:
    void OnHelp();
    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();

struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle;
    HINSTANCE m_hCurrentResourceHandle;
};
AFX_MODULE_STATE* AfxGetModuleState();
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);

// The control container and 3-D controls were options of older systems; on
// Windows 2000 and later every dialog already has them, so these only report
// success.
void AfxEnableControlContainer();
BOOL Enable3dControls();

// The framework's WinMain: runs the application object's InitInstance.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

#include "framework/AfxGdi.h"
