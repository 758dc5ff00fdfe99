// Windows the cloak tests work on: coloured targets (on this thread or on a
// thread that can be made to hang) and a message loop to run the timers.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

namespace cloaktest {

inline LRESULT CALLBACK TargetProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_ERASEBKGND) {
        RECT rc;
        ::GetClientRect(h, &rc);
        HBRUSH br = ::CreateSolidBrush((COLORREF)::GetWindowLongPtrA(h, GWLP_USERDATA));
        ::FillRect((HDC)w, &rc, br);
        ::DeleteObject(br);
        return 1;
    }
    if (m == WM_GETMINMAXINFO) { // let a test make a window larger than the screen
        ::DefWindowProcA(h, m, w, l);
        reinterpret_cast<MINMAXINFO*>(l)->ptMaxTrackSize = {16000, 16000};
        return 0;
    }
    return ::DefWindowProcA(h, m, w, l);
}

// A visible top-level window filled with one colour. A popup (no caption) is
// not managed by Wine's X11 driver, so hiding it does not wait for a window
// manager that the test display does not have.
inline HWND MakeTarget(int x, int y, int w, int h, COLORREF colour, const char* title = "target",
                       DWORD dwStyle = WS_OVERLAPPEDWINDOW) {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = TargetProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        wc.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
        wc.lpszClassName = "cloak test target";
        atom = ::RegisterClassA(&wc);
    }
    HWND hWnd = ::CreateWindowExA(0, "cloak test target", title, dwStyle, x, y, w, h, nullptr,
                                  nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, (LONG_PTR)colour);
    ::ShowWindow(hWnd, SW_SHOWNORMAL);
    ::UpdateWindow(hWnd);
    return hWnd;
}

// Runs the thread's messages until the condition holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// A window of the calling thread that runs a check when a message posted to
// it arrives: how soon that happens shows whether the thread is back at its
// messages, as a user's click or a repaint would need it to be.
struct PostedProbe {
    static const UINT kMessage = WM_APP + 7;
    HWND hWnd = nullptr;
    std::function<void()> check;
    bool bHandled = false;

    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == kMessage) {
            auto* self = reinterpret_cast<PostedProbe*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
            if (self && !self->bHandled) {
                self->bHandled = true;
                self->check();
            }
            return 0;
        }
        return ::DefWindowProcA(h, m, w, l);
    }
    explicit PostedProbe(std::function<void()> fn) : check(std::move(fn)) {
        static ATOM atom = 0;
        if (!atom) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = "posted probe";
            atom = ::RegisterClassA(&wc);
        }
        hWnd = ::CreateWindowExA(0, "posted probe", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, (LONG_PTR)this);
    }
    ~PostedProbe() { ::DestroyWindow(hWnd); }
    PostedProbe(const PostedProbe&) = delete;
    PostedProbe& operator=(const PostedProbe&) = delete;
    void Post() { ::PostMessageA(hWnd, kMessage, 0, 0); }
};

// A target owned by a thread of its own, which can be told to stop
// answering messages for a while.
struct ThreadTarget {
    HWND hWnd = nullptr;
    HANDLE hThread = nullptr;
    HANDLE hReady = nullptr;
    volatile LONG nHangMs = 0;
    volatile LONG bQuit = 0;
    RECT rc;
    COLORREF colour;
    DWORD style = WS_OVERLAPPEDWINDOW;

    // When set: the first time the window is pinged (WM_NULL sent to it), it
    // sends this message to hPingTo before it answers, as an automation tool
    // might.
    HWND hPingTo = nullptr;
    UINT nPingMessage = 0;
    WPARAM wPingParam = 0;
    LPARAM lPingParam = 0;
    WNDPROC pfnPlainProc = nullptr;

    static LRESULT CALLBACK PingSenderProc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = static_cast<ThreadTarget*>(::GetPropA(h, "ping sender"));
        if (m == WM_NULL && self && ::InSendMessage() && self->nPingMessage) {
            const UINT nMessage = self->nPingMessage;
            self->nPingMessage = 0;
            DWORD_PTR dwResult = 0;
            ::SendMessageTimeoutA(self->hPingTo, nMessage, self->wPingParam, self->lPingParam,
                                  SMTO_NORMAL, 20000, &dwResult);
        }
        return ::CallWindowProcA(self ? self->pfnPlainProc : ::DefWindowProcA, h, m, w, l);
    }

    static DWORD WINAPI Run(LPVOID p) {
        auto* self = static_cast<ThreadTarget*>(p);
        self->hWnd = MakeTarget(self->rc.left, self->rc.top, self->rc.right, self->rc.bottom,
                                self->colour, "thread target", self->style);
        if (self->nPingMessage) {
            ::SetPropA(self->hWnd, "ping sender", self);
            self->pfnPlainProc =
                (WNDPROC)::SetWindowLongPtrA(self->hWnd, GWLP_WNDPROC, (LONG_PTR)PingSenderProc);
        }
        ::SetEvent(self->hReady);
        while (!self->bQuit) {
            if (LONG ms = ::InterlockedExchange(&self->nHangMs, 0))
                ::Sleep(ms);
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        ::RemovePropA(self->hWnd, "ping sender");
        ::DestroyWindow(self->hWnd);
        return 0;
    }
    void Open(int x, int y, int w, int h, COLORREF c) {
        rc = {x, y, w, h};
        colour = c;
        hReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        hThread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
        ::WaitForSingleObject(hReady, INFINITE);
    }
    void Close() {
        bQuit = 1;
        ::WaitForSingleObject(hThread, INFINITE);
        ::CloseHandle(hThread);
        ::CloseHandle(hReady);
    }
};

} // namespace cloaktest
