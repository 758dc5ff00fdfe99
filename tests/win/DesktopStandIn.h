// A desktop as Windows 8 to 11 describe it, standing in for the calls the
// program finds at run time (see DesktopFacts.h) and for the window system's
// own answers where those differ from Wine's: a compositor that may be on,
// windows it cloaks, visible frames, a full-content rendering, windows whose
// window-DC copy comes back black (drawn by the GPU), and display scaling: a
// thread in the DPI-unaware context (the process's own) reads other windows'
// rectangles and the screen divided by the scale, one in a per-monitor-aware
// context reads the physical values that Wine reports.
#pragma once
#include <windows.h>

#include "HandleLedger.h"
#include "windowlist/DesktopFacts.h"

#include <map>
#include <set>

namespace standin {

const HANDLE kUnaware = (HANDLE)(LONG_PTR)-1;

struct Desktop {
    bool composed = false;
    bool dpiCalls = false;                // the system has SetThreadDpiAwarenessContext
    bool perMonitorV2 = true;             // ... and knows the V2 context
    int scalePercent = 100;               // what an unaware thread is shown
    std::map<HWND, DWORD> cloaked;        // DWMWA_CLOAKED where it succeeds
    std::map<HWND, RECT> frames;          // DWMWA_EXTENDED_FRAME_BOUNDS, physical
    HWND shell = nullptr;                 // GetShellWindow
    std::map<HWND, COLORREF> fullContent; // PrintWindow(..., 2) paints this; others fail
    std::set<HWND> gpuDrawn;              // window-DC copies come back black
    int nPrintCalls = 0;
    int nFlushCalls = 0;
    // Integrity levels, where the system has them (Vista and later): this
    // program's, and that of every other process it opens (in-process, the
    // targets' process is this one, opened by its id rather than through the
    // pseudo handle of its own).
    bool integrity = false;
    DWORD ourLevel = 0x2000;    // medium
    DWORD targetLevel = 0x2000; // 0x3000 high: an elevated program
    std::map<HANDLE, bool> targetTokens;
    // Windows of an elevated program, which the system keeps this one's sent
    // messages from (they fail with ERROR_ACCESS_DENIED).
    std::set<HWND> blocked;
    int nTimedOutAsks = 0; // sends that ran out of time
};

inline Desktop& D() {
    static Desktop d;
    return d;
}

// The calling thread's DPI context (a thread starts unaware).
inline DWORD ContextSlot() {
    static const DWORD slot = ::TlsAlloc();
    return slot;
}
inline HANDLE Context() {
    HANDLE h = ::TlsGetValue(ContextSlot());
    return h ? h : kUnaware;
}
inline void SetThreadContext(HANDLE h) {
    ::TlsSetValue(ContextSlot(), h);
}

inline bool Scaled() {
    return D().scalePercent != 100 && Context() == kUnaware;
}
inline LONG Logical(LONG v) {
    return MulDiv(v, 100, D().scalePercent);
}

inline HRESULT WINAPI IsCompositionEnabled(BOOL* p) {
    *p = D().composed;
    return S_OK;
}
inline HRESULT WINAPI GetWindowAttribute(HWND h, DWORD a, PVOID p, DWORD cb) {
    if (a == kDwmCloaked && cb == sizeof(DWORD) && D().cloaked.count(h)) {
        *static_cast<DWORD*>(p) = D().cloaked[h];
        return S_OK;
    }
    if (a == kDwmExtendedFrameBounds && cb == sizeof(RECT) && D().frames.count(h)) {
        *static_cast<RECT*>(p) = D().frames[h];
        return S_OK;
    }
    return E_NOTIMPL;
}
inline HRESULT WINAPI Flush() {
    ++D().nFlushCalls;
    return S_OK;
}
inline BOOL WINAPI PrintFullContent(HWND h, HDC hdc, UINT flags) {
    ++D().nPrintCalls;
    if (flags != kPrintFullContent || !D().fullContent.count(h))
        return FALSE;
    RECT rc;
    ::GetWindowRect(h, &rc);
    HBRUSH br = ::CreateSolidBrush(D().fullContent[h]);
    RECT all = {0, 0, rc.right - rc.left, rc.bottom - rc.top};
    ::FillRect(hdc, &all, br);
    ::DeleteObject(br);
    return TRUE;
}
inline HANDLE WINAPI SetContext(HANDLE h) {
    if (h == (HANDLE)(LONG_PTR)-4 && !D().perMonitorV2)
        return nullptr;
    HANDLE old = Context();
    SetThreadContext(h);
    return old;
}
inline HWND WINAPI ShellWindow() {
    return D().shell;
}
inline BOOL WINAPI OpenToken(HANDLE hProcess, DWORD dwAccess, PHANDLE phToken) {
    if (!::OpenProcessToken(::GetCurrentProcess(), dwAccess, phToken))
        return FALSE;
    D().targetTokens[*phToken] = hProcess != ::GetCurrentProcess();
    return TRUE;
}
inline BOOL WINAPI TokenInformation(HANDLE hToken, TOKEN_INFORMATION_CLASS c, LPVOID p, DWORD cb,
                                    PDWORD pcb) {
    if (c != TokenIntegrityLevel)
        return ::GetTokenInformation(hToken, c, p, cb, pcb);
    struct Label {
        TOKEN_MANDATORY_LABEL label;
        SID sid; // S-1-16-level: one sub-authority
    };
    *pcb = sizeof(Label);
    if (cb < sizeof(Label)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Label* pLabel = static_cast<Label*>(p);
    pLabel->sid = SID{SID_REVISION, 1, {{0, 0, 0, 0, 0, 16}}, {0}};
    pLabel->sid.SubAuthority[0] = D().targetTokens[hToken] ? D().targetLevel : D().ourLevel;
    pLabel->label.Label.Sid = &pLabel->sid;
    pLabel->label.Label.Attributes = SE_GROUP_INTEGRITY;
    return TRUE;
}

// The real entry points behind the redirected imports.
inline decltype(&::GetWindowRect)& RealGetWindowRect() {
    static decltype(&::GetWindowRect) p;
    return p;
}
inline decltype(&::GetSystemMetrics)& RealGetSystemMetrics() {
    static decltype(&::GetSystemMetrics) p;
    return p;
}
inline decltype(&::BitBlt)& RealBitBlt() {
    static decltype(&::BitBlt) p;
    return p;
}

inline BOOL WINAPI HookGetWindowRect(HWND h, LPRECT r) {
    const BOOL b = RealGetWindowRect()(h, r);
    if (b && Scaled())
        *r = RECT{Logical(r->left), Logical(r->top), Logical(r->right), Logical(r->bottom)};
    return b;
}
inline int WINAPI HookGetSystemMetrics(int n) {
    const int v = RealGetSystemMetrics()(n);
    return (n == SM_CXSCREEN || n == SM_CYSCREEN) && Scaled() ? Logical(v) : v;
}
inline BOOL WINAPI HookBitBlt(HDC d, int x, int y, int cx, int cy, HDC s, int xs, int ys,
                              DWORD rop) {
    if (!D().gpuDrawn.empty() && D().gpuDrawn.count(::WindowFromDC(s)))
        return ::PatBlt(d, x, y, cx, cy, BLACKNESS);
    return RealBitBlt()(d, x, y, cx, cy, s, xs, ys, rop);
}

inline decltype(&::SendMessageTimeoutA)& RealSendMessageTimeoutA() {
    static decltype(&::SendMessageTimeoutA) p;
    return p;
}
inline decltype(&::SendMessageCallbackA)& RealSendMessageCallbackA() {
    static decltype(&::SendMessageCallbackA) p;
    return p;
}

// Windows leaves the last error as it was when a send runs out of time (Wine
// sets one): an earlier error is still there afterwards.
inline LRESULT WINAPI HookSendMessageTimeoutA(HWND h, UINT m, WPARAM w, LPARAM l, UINT f, UINT ms,
                                              PDWORD_PTR r) {
    if (D().blocked.count(h)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    const DWORD dwBefore = ::GetLastError();
    const LRESULT lResult = RealSendMessageTimeoutA()(h, m, w, l, f, ms, r);
    if (!lResult) {
        ++D().nTimedOutAsks;
        ::SetLastError(dwBefore);
    }
    return lResult;
}
inline BOOL WINAPI HookSendMessageCallbackA(HWND h, UINT m, WPARAM w, LPARAM l, SENDASYNCPROC pfn,
                                            ULONG_PTR data) {
    if (D().blocked.count(h)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return RealSendMessageCallbackA()(h, m, w, l, pfn, data);
}

// Redirects the program's sends once (the blocked windows, the errors left
// by a send that runs out of time); false if one was not found.
inline bool InstallSendHooks() {
    static bool done = false, ok = true;
    if (done)
        return ok;
    done = true;
    ok &= ledger::Patch("user32.dll", "SendMessageTimeoutA", (void*)&HookSendMessageTimeoutA,
                        (void**)&RealSendMessageTimeoutA());
    ok &= ledger::Patch("user32.dll", "SendMessageCallbackA", (void*)&HookSendMessageCallbackA,
                        (void**)&RealSendMessageCallbackA());
    return ok;
}

// Redirects the program's imports once; false if one was not found.
inline bool InstallHooks() {
    static bool done = false, ok = true;
    if (done)
        return ok;
    done = true;
    ok &= ledger::Patch("user32.dll", "GetWindowRect", (void*)&HookGetWindowRect,
                        (void**)&RealGetWindowRect());
    ok &= ledger::Patch("user32.dll", "GetSystemMetrics", (void*)&HookGetSystemMetrics,
                        (void**)&RealGetSystemMetrics());
    ok &= ledger::Patch("gdi32.dll", "BitBlt", (void*)&HookBitBlt, (void**)&RealBitBlt());
    return ok;
}

// Puts the stand-in in place of the system's calls for as long as it lives,
// starting from a desktop that answers as Wine does.
class Scope {
  public:
    Scope() {
        D() = Desktop{};
        SetThreadContext(kUnaware);
        m_calls.pfnDwmIsCompositionEnabled = IsCompositionEnabled;
        m_calls.pfnDwmGetWindowAttribute = GetWindowAttribute;
        m_calls.pfnDwmFlush = Flush;
        m_calls.pfnPrintWindow = PrintFullContent;
        m_calls.pfnSetThreadDpiAwarenessContext = SetContext;
        m_calls.pfnGetShellWindow = ShellWindow;
        Refresh();
    }
    ~Scope() {
        SetDesktopCalls(nullptr);
        D() = Desktop{};
    }
    // Call after changing dpiCalls or integrity.
    void Refresh() {
        m_calls.pfnSetThreadDpiAwarenessContext = D().dpiCalls ? SetContext : nullptr;
        m_calls.pfnOpenProcessToken = D().integrity ? OpenToken : nullptr;
        m_calls.pfnGetTokenInformation = D().integrity ? TokenInformation : nullptr;
        SetDesktopCalls(&m_calls);
    }

  private:
    DesktopCalls m_calls = {};
};

} // namespace standin
