// Helpers shared by the warp effect's Windows-side tests.
#pragma once
#include <windows.h>

#include "app/Messages.h"

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
