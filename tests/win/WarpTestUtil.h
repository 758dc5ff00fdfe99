// Helpers shared by the warp effect's Windows-side tests.
#pragma once
#include <windows.h>

#include "app/Messages.h"

#include <cstring>

// A plain hidden window of the calling thread that stands in for the dialog.
inline HWND CreateOwnerWindow() {
    return ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

// A visible, borderless target window of the calling thread at r.
inline HWND CreateTargetWindow(RECT r, const char* pszTitle = "target") {
    HWND h = ::CreateWindowExA(0, "STATIC", pszTitle, WS_POPUP | WS_VISIBLE | SS_BLACKRECT, r.left,
                               r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
    ::UpdateWindow(h);
    return h;
}

// Dispatches the calling thread's messages until UM_COIL_DONE reaches hOwner
// (returns its lParam) or the time is up (returns 0).
inline LPARAM PumpUntilCoilDone(HWND hOwner, DWORD dwTimeoutMs) {
    const DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < dwTimeoutMs) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == hOwner && msg.message == UM_COIL_DONE)
                return msg.lParam;
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return 0;
}

inline BOOL ClassExists(LPCSTR pszClass) {
    WNDCLASSA wc;
    return ::GetClassInfoA(::GetModuleHandleA(nullptr), pszClass, &wc);
}

// While it lives, the calling thread cannot create ship windows, so that a
// transition can be made to fail at its window.
class RefuseShipWindows {
  public:
    RefuseShipWindows() {
        s_hHook = ::SetWindowsHookExA(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~RefuseShipWindows() { ::UnhookWindowsHookEx(s_hHook); }

  private:
    static LRESULT CALLBACK Hook(int nCode, WPARAM wParam, LPARAM lParam) {
        char szClass[64] = "";
        if (nCode == HCBT_CREATEWND && ::GetClassNameA((HWND)wParam, szClass, sizeof szClass) &&
            std::strcmp(szClass, "warp ship window class") == 0)
            return 1;
        return ::CallNextHookEx(s_hHook, nCode, wParam, lParam);
    }
    static inline HHOOK s_hHook = nullptr;
};
