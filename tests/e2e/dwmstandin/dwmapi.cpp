// A stand-in for dwmapi.dll: the answers of a desktop whose compositor is
// on, for the end-to-end tests. Placed beside an exe, Wine loads it in place
// of its own, which answers as a system without a compositor. Which windows
// are cloaked and where their visible frames lie is read from properties
// their programs set (StandinProps.h).
#include <windows.h>

#include "StandinProps.h"

namespace {

const DWORD kAttrExtendedFrameBounds = 9; // DWMWA_EXTENDED_FRAME_BOUNDS
const DWORD kAttrCloaked = 14;            // DWMWA_CLOAKED

// Properties hold handle-sized values; an inset is a small signed number.
LONG PropValue(HWND hWnd, const char* pszName) {
    return (LONG)(LONG_PTR)::GetPropA(hWnd, pszName);
}

HRESULT FrameBounds(HWND hWnd, RECT* pRect) {
    RECT rc;
    if (!::GetWindowRect(hWnd, &rc))
        return E_HANDLE;
    rc.left += PropValue(hWnd, TACHY_DWM_INSET_LEFT);
    rc.top += PropValue(hWnd, TACHY_DWM_INSET_TOP);
    rc.right -= PropValue(hWnd, TACHY_DWM_INSET_RIGHT);
    rc.bottom -= PropValue(hWnd, TACHY_DWM_INSET_BOTTOM);
    *pRect = rc;
    return S_OK;
}

} // namespace

extern "C" {

HRESULT WINAPI DwmIsCompositionEnabled(BOOL* pfEnabled) {
    if (!pfEnabled)
        return E_INVALIDARG;
    *pfEnabled = TRUE;
    return S_OK;
}

HRESULT WINAPI DwmGetWindowAttribute(HWND hWnd, DWORD dwAttribute, PVOID pvAttribute,
                                     DWORD cbAttribute) {
    if (!::IsWindow(hWnd))
        return E_HANDLE;
    if (!pvAttribute)
        return E_INVALIDARG;
    switch (dwAttribute) {
    case kAttrCloaked:
        if (cbAttribute != sizeof(DWORD))
            return E_INVALIDARG;
        *static_cast<DWORD*>(pvAttribute) = (DWORD)PropValue(hWnd, TACHY_DWM_CLOAKED);
        return S_OK;
    case kAttrExtendedFrameBounds:
        if (cbAttribute != sizeof(RECT))
            return E_INVALIDARG;
        return FrameBounds(hWnd, static_cast<RECT*>(pvAttribute));
    default:
        return E_NOTIMPL;
    }
}

// The compositor presents at once.
HRESULT WINAPI DwmFlush() {
    return S_OK;
}

} // extern "C"
