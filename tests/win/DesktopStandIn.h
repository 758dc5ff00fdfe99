// A desktop as Windows 8 to 11 describe it, standing in for the calls the
// program finds at run time (see DesktopFacts.h) and for the window system's
// own answers where those differ from Wine's: a compositor that may be on,
// windows it cloaks, visible frames, a full-content rendering, windows whose
// window-DC copy comes back black (drawn by the GPU), and display scaling: a
// thread in the DPI-unaware context (the process's own) reads other windows'
// rectangles and the screen divided by the scale, one in a per-monitor-aware
// context reads the physical values that Wine reports. Such a thread also
// makes, places and updates top-level windows in those divided coordinates,
// which the system multiplies; a window made in that context is
// virtualised: its own picture (window DC, full-content rendering, layered
// content) has the divided size and is stretched on screen. A window
// procedure runs in the context its window was made in.
#pragma once
#include <windows.h>

#include "HandleLedger.h"
#include "windowlist/DesktopFacts.h"

#include <map>
#include <set>

namespace standin {

const HANDLE kUnaware = (HANDLE)(LONG_PTR)-1;
// What GetWindowDpiAwarenessContext answers: the system's own handles, not
// the constants a thread is set with.
const HANDLE kWindowUnaware = (HANDLE)(LONG_PTR)0x6010;
const HANDLE kWindowPerMonitorV2 = (HANDLE)(LONG_PTR)0x22;
// fullContent: the window renders its own painting, at its own size.
const COLORREF kOwnPicture = CLR_INVALID;
// Calls of an endless z-order walk answered before it is cut short.
const int kEndlessCut = 4 * kMaxWindowsAbove;

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
    // The windows above this one keep being raised: a walk down the z-order
    // that would reach it starts over from the top (until kEndlessCut).
    HWND endlessAbove = nullptr;
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
    int nNextCalls = 0; // GetWindow(GW_HWNDNEXT) while endlessAbove is set
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
inline LONG Logical(LONG v, int nPercent = D().scalePercent) {
    return MulDiv(v, 100, nPercent);
}
inline LONG Physical(LONG v, int nPercent = D().scalePercent) {
    return MulDiv(v, nPercent, 100);
}

// Per window, as properties (read on any thread): the context it was made
// in, its procedure, and the scale it is virtualised at.
const char kPropContext[] = "standin.context";
const char kPropProc[] = "standin.proc";
const char kPropScale[] = "standin.scale";

// The scale at which the window's own picture is stretched on screen; 0 for
// one drawn in physical pixels.
inline int VirtualScale(HWND h) {
    return h ? static_cast<int>(reinterpret_cast<LONG_PTR>(::GetPropA(h, kPropScale))) : 0;
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
inline decltype(&::StretchBlt)& RealStretchBlt() {
    static decltype(&::StretchBlt) p;
    return p;
}
inline decltype(&::CreateWindowExA)& RealCreateWindowExA() {
    static decltype(&::CreateWindowExA) p;
    return p;
}
inline decltype(&::SetWindowPos)& RealSetWindowPos() {
    static decltype(&::SetWindowPos) p;
    return p;
}
inline decltype(&::MoveWindow)& RealMoveWindow() {
    static decltype(&::MoveWindow) p;
    return p;
}
inline decltype(&::UpdateLayeredWindow)& RealUpdateLayeredWindow() {
    static decltype(&::UpdateLayeredWindow) p;
    return p;
}
inline decltype(&::GetWindow)& RealGetWindow() {
    static decltype(&::GetWindow) p;
    return p;
}

// The size of the window's own picture.
inline SIZE OwnSize(HWND h) {
    RECT rc = {};
    RealGetWindowRect()(h, &rc);
    const int n = VirtualScale(h);
    if (!n)
        return SIZE{rc.right - rc.left, rc.bottom - rc.top};
    return SIZE{Logical(rc.right, n) - Logical(rc.left, n),
                Logical(rc.bottom, n) - Logical(rc.top, n)};
}

// A virtualised window's own picture: its painting at its own size, as its
// window DC holds it and its full-content rendering gives it.
class OwnPicture {
  public:
    explicit OwnPicture(HWND h) : size(OwnSize(h)) {
        RECT rc = {};
        RealGetWindowRect()(h, &rc);
        const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
        HDC hScreen = ::GetDC(nullptr);
        HDC hWhole = ::CreateCompatibleDC(hScreen);
        HBITMAP hWholeBitmap = ::CreateCompatibleBitmap(hScreen, cx, cy);
        HGDIOBJ hOldWhole = ::SelectObject(hWhole, hWholeBitmap);
        ::SendMessageA(h, WM_PRINT, (WPARAM)hWhole, PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CLIENT);
        hdc = ::CreateCompatibleDC(hScreen);
        m_hBitmap = ::CreateCompatibleBitmap(hScreen, size.cx, size.cy);
        m_hOld = ::SelectObject(hdc, m_hBitmap);
        ::SetStretchBltMode(hdc, COLORONCOLOR);
        RealStretchBlt()(hdc, 0, 0, size.cx, size.cy, hWhole, 0, 0, cx, cy, SRCCOPY);
        ::SelectObject(hWhole, hOldWhole);
        ::DeleteObject(hWholeBitmap);
        ::DeleteDC(hWhole);
        ::ReleaseDC(nullptr, hScreen);
    }
    ~OwnPicture() {
        ::SelectObject(hdc, m_hOld);
        ::DeleteObject(m_hBitmap);
        ::DeleteDC(hdc);
    }
    OwnPicture(const OwnPicture&) = delete;
    OwnPicture& operator=(const OwnPicture&) = delete;
    const SIZE size;
    HDC hdc = nullptr;

  private:
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOld = nullptr;
};

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
    const COLORREF colour = D().fullContent[h];
    if (colour == kOwnPicture) {
        OwnPicture own(h);
        RealBitBlt()(hdc, 0, 0, own.size.cx, own.size.cy, own.hdc, 0, 0, SRCCOPY);
        return TRUE;
    }
    const SIZE size = OwnSize(h);
    HBRUSH br = ::CreateSolidBrush(colour);
    RECT all = {0, 0, size.cx, size.cy};
    ::FillRect(hdc, &all, br);
    ::DeleteObject(br);
    return TRUE;
}
inline HANDLE WINAPI SetContext(HANDLE h) {
    if (h == (HANDLE)(LONG_PTR)-4 && !D().perMonitorV2)
        return nullptr;
    if (h == kWindowUnaware)
        h = kUnaware;
    else if (h == kWindowPerMonitorV2)
        h = (HANDLE)(LONG_PTR)-4;
    HANDLE old = Context();
    SetThreadContext(h);
    return old;
}
// Windows made elsewhere are drawn in physical pixels, as per-monitor ones.
inline HANDLE WINAPI WindowContext(HWND h) {
    if (!::IsWindow(h))
        return nullptr;
    return VirtualScale(h) ? kWindowUnaware : kWindowPerMonitorV2;
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
    HWND h = ::WindowFromDC(s);
    if (!D().gpuDrawn.empty() && D().gpuDrawn.count(h))
        return ::PatBlt(d, x, y, cx, cy, BLACKNESS);
    if (!VirtualScale(h))
        return RealBitBlt()(d, x, y, cx, cy, s, xs, ys, rop);
    OwnPicture own(h);
    ::PatBlt(d, x, y, cx, cy, BLACKNESS); // beyond the picture there is none
    return RealBitBlt()(d, x, y, cx, cy, own.hdc, xs, ys, rop);
}
inline BOOL WINAPI HookStretchBlt(HDC d, int x, int y, int cx, int cy, HDC s, int xs, int ys,
                                  int cxs, int cys, DWORD rop) {
    HWND h = ::WindowFromDC(s);
    if (!D().gpuDrawn.empty() && D().gpuDrawn.count(h))
        return ::PatBlt(d, x, y, cx, cy, BLACKNESS);
    if (!VirtualScale(h))
        return RealStretchBlt()(d, x, y, cx, cy, s, xs, ys, cxs, cys, rop);
    OwnPicture own(h);
    ::PatBlt(d, x, y, cx, cy, BLACKNESS);
    return RealStretchBlt()(d, x, y, cx, cy, own.hdc, xs, ys, cxs, cys, rop);
}

// The window procedure runs in the context the window was made in.
inline LRESULT CALLBACK InContextProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    WNDPROC proc = reinterpret_cast<WNDPROC>(::GetPropA(h, kPropProc));
    const HANDLE old = Context();
    SetThreadContext(::GetPropA(h, kPropContext));
    const LRESULT r = proc ? ::CallWindowProcA(proc, h, m, w, l) : ::DefWindowProcA(h, m, w, l);
    SetThreadContext(old);
    if (m == WM_NCDESTROY) {
        ::RemovePropA(h, kPropProc);
        ::RemovePropA(h, kPropContext);
        ::RemovePropA(h, kPropScale);
    }
    return r;
}

inline bool TopLevel(DWORD dwStyle) {
    return (dwStyle & WS_CHILD) == 0;
}
inline bool TopLevel(HWND h) {
    return TopLevel(static_cast<DWORD>(::GetWindowLongPtrA(h, GWL_STYLE)));
}

inline HWND WINAPI HookCreateWindowExA(DWORD ex, LPCSTR cls, LPCSTR name, DWORD style, int x, int y,
                                       int cx, int cy, HWND parent, HMENU menu, HINSTANCE inst,
                                       LPVOID param) {
    const bool bScaled = Scaled() && TopLevel(style);
    if (bScaled && x != CW_USEDEFAULT) {
        x = Physical(x);
        y = Physical(y);
    }
    if (bScaled && cx != CW_USEDEFAULT) {
        cx = Physical(cx);
        cy = Physical(cy);
    }
    HWND h = RealCreateWindowExA()(ex, cls, name, style, x, y, cx, cy, parent, menu, inst, param);
    if (!h || D().scalePercent == 100 || !TopLevel(style))
        return h;
    ::SetPropA(h, kPropContext, Context());
    if (bScaled)
        ::SetPropA(h, kPropScale,
                   reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(D().scalePercent)));
    ::SetPropA(h, kPropProc,
               reinterpret_cast<HANDLE>(::SetWindowLongPtrA(
                   h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InContextProc))));
    return h;
}

inline BOOL WINAPI HookSetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    if (Scaled() && TopLevel(h)) {
        if (!(flags & SWP_NOMOVE)) {
            x = Physical(x);
            y = Physical(y);
        }
        if (!(flags & SWP_NOSIZE)) {
            cx = Physical(cx);
            cy = Physical(cy);
        }
    }
    return RealSetWindowPos()(h, after, x, y, cx, cy, flags);
}

inline BOOL WINAPI HookMoveWindow(HWND h, int x, int y, int cx, int cy, BOOL repaint) {
    if (Scaled() && TopLevel(h))
        return RealMoveWindow()(h, Physical(x), Physical(y), Physical(cx), Physical(cy), repaint);
    return RealMoveWindow()(h, x, y, cx, cy, repaint);
}

// Position and size come in the caller's coordinates; the content fills the
// window's own picture, which is the divided size where either the caller
// or the window is virtualised, and is stretched on screen.
inline BOOL WINAPI HookUpdateLayeredWindow(HWND h, HDC dst, POINT* pt, SIZE* size, HDC src,
                                           POINT* ptSrc, COLORREF key, BLENDFUNCTION* blend,
                                           DWORD flags) {
    const bool bCaller = Scaled();
    const int nWindow = VirtualScale(h);
    if (!bCaller && !nWindow)
        return RealUpdateLayeredWindow()(h, dst, pt, size, src, ptSrc, key, blend, flags);
    POINT ptPhysical = {};
    if (pt)
        ptPhysical = bCaller ? POINT{Physical(pt->x), Physical(pt->y)} : *pt;
    if (!size || !src)
        return RealUpdateLayeredWindow()(h, dst, pt ? &ptPhysical : nullptr, size, src, ptSrc, key,
                                         blend, flags);
    const SIZE physical = bCaller ? SIZE{Physical(size->cx), Physical(size->cy)} : *size;
    const SIZE own = bCaller ? *size : SIZE{Logical(size->cx, nWindow), Logical(size->cy, nWindow)};
    const POINT from = ptSrc ? *ptSrc : POINT{0, 0};
    // Of the source's format (a DIB section's, alpha and all).
    HBITMAP hStretched = ::CreateCompatibleBitmap(src, physical.cx, physical.cy);
    HDC hdc = ::CreateCompatibleDC(src);
    HGDIOBJ hOld = ::SelectObject(hdc, hStretched);
    ::SetStretchBltMode(hdc, COLORONCOLOR);
    RealStretchBlt()(hdc, 0, 0, physical.cx, physical.cy, src, from.x, from.y, own.cx, own.cy,
                     SRCCOPY);
    POINT origin = {0, 0};
    SIZE sz = physical;
    const BOOL b = RealUpdateLayeredWindow()(h, dst, pt ? &ptPhysical : nullptr, &sz, hdc, &origin,
                                             key, blend, flags);
    ::SelectObject(hdc, hOld);
    ::DeleteDC(hdc);
    ::DeleteObject(hStretched);
    return b;
}

inline HWND WINAPI HookGetWindow(HWND h, UINT cmd) {
    HWND next = RealGetWindow()(h, cmd);
    if (cmd != GW_HWNDNEXT || !D().endlessAbove)
        return next;
    if (++D().nNextCalls > kEndlessCut)
        return nullptr;
    return next == D().endlessAbove ? ::GetTopWindow(nullptr) : next;
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
    ok &=
        ledger::Patch("gdi32.dll", "StretchBlt", (void*)&HookStretchBlt, (void**)&RealStretchBlt());
    ok &= ledger::Patch("user32.dll", "CreateWindowExA", (void*)&HookCreateWindowExA,
                        (void**)&RealCreateWindowExA());
    ok &= ledger::Patch("user32.dll", "SetWindowPos", (void*)&HookSetWindowPos,
                        (void**)&RealSetWindowPos());
    ok &= ledger::Patch("user32.dll", "MoveWindow", (void*)&HookMoveWindow,
                        (void**)&RealMoveWindow());
    ok &= ledger::Patch("user32.dll", "UpdateLayeredWindow", (void*)&HookUpdateLayeredWindow,
                        (void**)&RealUpdateLayeredWindow());
    ok &= ledger::Patch("user32.dll", "GetWindow", (void*)&HookGetWindow, (void**)&RealGetWindow());
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
        m_calls.pfnGetWindowDpiAwarenessContext = D().dpiCalls ? WindowContext : nullptr;
        SetDesktopCalls(&m_calls);
    }

  private:
    DesktopCalls m_calls = {};
};

} // namespace standin
