#include "framework/AfxSystemDll.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

typedef BOOL(WINAPI* PFN_SETDEFAULTDLLDIRECTORIES)(DWORD dwFlags);

template <typename Fn> void Find(HMODULE hModule, const char* pszName, Fn* pfn) {
    *pfn = hModule
               ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)))
               : nullptr;
}

struct ComCtlCalls {
    decltype(&::ImageList_Create) pfnImageList_Create;
    decltype(&::ImageList_Destroy) pfnImageList_Destroy;
    decltype(&::ImageList_ReplaceIcon) pfnImageList_ReplaceIcon;
    decltype(&::ImageList_Remove) pfnImageList_Remove;
    decltype(&::ImageList_GetIcon) pfnImageList_GetIcon;
    decltype(&::ImageList_GetIconSize) pfnImageList_GetIconSize;
    decltype(&::InitializeFlatSB) pfnInitializeFlatSB;
    decltype(&::UninitializeFlatSB) pfnUninitializeFlatSB;
    decltype(&::FlatSB_EnableScrollBar) pfnFlatSB_EnableScrollBar;
    decltype(&::FlatSB_ShowScrollBar) pfnFlatSB_ShowScrollBar;
    decltype(&::FlatSB_SetScrollProp) pfnFlatSB_SetScrollProp;
    decltype(&::FlatSB_SetScrollRange) pfnFlatSB_SetScrollRange;
    decltype(&::FlatSB_GetScrollInfo) pfnFlatSB_GetScrollInfo;
    decltype(&::FlatSB_GetScrollPos) pfnFlatSB_GetScrollPos;
    decltype(&::FlatSB_SetScrollPos) pfnFlatSB_SetScrollPos;
};

ComCtlCalls LookUpComCtl() {
    ComCtlCalls calls = {};
    HMODULE h = AfxLoadSystemLibrary("comctl32.dll");
    Find(h, "ImageList_Create", &calls.pfnImageList_Create);
    Find(h, "ImageList_Destroy", &calls.pfnImageList_Destroy);
    Find(h, "ImageList_ReplaceIcon", &calls.pfnImageList_ReplaceIcon);
    Find(h, "ImageList_Remove", &calls.pfnImageList_Remove);
    Find(h, "ImageList_GetIcon", &calls.pfnImageList_GetIcon);
    Find(h, "ImageList_GetIconSize", &calls.pfnImageList_GetIconSize);
    Find(h, "InitializeFlatSB", &calls.pfnInitializeFlatSB);
    Find(h, "UninitializeFlatSB", &calls.pfnUninitializeFlatSB);
    Find(h, "FlatSB_EnableScrollBar", &calls.pfnFlatSB_EnableScrollBar);
    Find(h, "FlatSB_ShowScrollBar", &calls.pfnFlatSB_ShowScrollBar);
    Find(h, "FlatSB_SetScrollProp", &calls.pfnFlatSB_SetScrollProp);
    Find(h, "FlatSB_SetScrollRange", &calls.pfnFlatSB_SetScrollRange);
    Find(h, "FlatSB_GetScrollInfo", &calls.pfnFlatSB_GetScrollInfo);
    Find(h, "FlatSB_GetScrollPos", &calls.pfnFlatSB_GetScrollPos);
    Find(h, "FlatSB_SetScrollPos", &calls.pfnFlatSB_SetScrollPos);
    return calls;
}

// Looked up as the program starts, before any thread of its own runs.
const ComCtlCalls g_comctl = LookUpComCtl();

template <typename Fn, typename R, typename... Args> R Call(Fn pfn, R rFailed, Args... args) {
    return pfn ? pfn(args...) : rFailed;
}

} // namespace

BOOL AfxLimitDllSearch() {
    PFN_SETDEFAULTDLLDIRECTORIES pfn = nullptr;
    Find(::GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories", &pfn);
    return pfn && pfn(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE AfxLoadSystemLibrary(LPCSTR pszName) {
    char szPath[MAX_PATH];
    const UINT cchDir = ::GetSystemDirectoryA(szPath, MAX_PATH);
    const int cchName = ::lstrlenA(pszName);
    if (cchDir == 0 || cchDir + 1 + cchName >= MAX_PATH)
        return nullptr;
    szPath[cchDir] = '\\';
    ::lstrcpynA(szPath + cchDir + 1, pszName, cchName + 1);
    // With the search limited, the dependencies come from the system
    // directory anyway; without, the altered search looks there first.
    const DWORD dwFlags = AfxLimitDllSearch() ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH;
    return ::LoadLibraryExA(szPath, nullptr, dwFlags);
}

HIMAGELIST AfxImageList_Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow) {
    return Call(g_comctl.pfnImageList_Create, HIMAGELIST(nullptr), cx, cy, nFlags, nInitial, nGrow);
}

BOOL AfxImageList_Destroy(HIMAGELIST hList) {
    return Call(g_comctl.pfnImageList_Destroy, FALSE, hList);
}

int AfxImageList_ReplaceIcon(HIMAGELIST hList, int nImage, HICON hIcon) {
    return Call(g_comctl.pfnImageList_ReplaceIcon, -1, hList, nImage, hIcon);
}

BOOL AfxImageList_Remove(HIMAGELIST hList, int nImage) {
    return Call(g_comctl.pfnImageList_Remove, FALSE, hList, nImage);
}

HICON AfxImageList_GetIcon(HIMAGELIST hList, int nImage, UINT nFlags) {
    return Call(g_comctl.pfnImageList_GetIcon, HICON(nullptr), hList, nImage, nFlags);
}

BOOL AfxImageList_GetIconSize(HIMAGELIST hList, int* pcx, int* pcy) {
    return Call(g_comctl.pfnImageList_GetIconSize, FALSE, hList, pcx, pcy);
}

BOOL AfxInitializeFlatSB(HWND hWnd) {
    return Call(g_comctl.pfnInitializeFlatSB, FALSE, hWnd);
}

HRESULT AfxUninitializeFlatSB(HWND hWnd) {
    return Call(g_comctl.pfnUninitializeFlatSB, HRESULT(E_FAIL), hWnd);
}

BOOL AfxFlatSB_EnableScrollBar(HWND hWnd, int nBar, UINT nArrows) {
    return Call(g_comctl.pfnFlatSB_EnableScrollBar, FALSE, hWnd, nBar, nArrows);
}

BOOL AfxFlatSB_ShowScrollBar(HWND hWnd, int nBar, BOOL bShow) {
    return Call(g_comctl.pfnFlatSB_ShowScrollBar, FALSE, hWnd, nBar, bShow);
}

BOOL AfxFlatSB_SetScrollProp(HWND hWnd, UINT nIndex, INT_PTR nValue, BOOL bRedraw) {
    return Call(g_comctl.pfnFlatSB_SetScrollProp, FALSE, hWnd, nIndex, nValue, bRedraw);
}

int AfxFlatSB_SetScrollRange(HWND hWnd, int nBar, int nMin, int nMax, BOOL bRedraw) {
    return Call(g_comctl.pfnFlatSB_SetScrollRange, 0, hWnd, nBar, nMin, nMax, bRedraw);
}

BOOL AfxFlatSB_GetScrollInfo(HWND hWnd, int nBar, SCROLLINFO* pInfo) {
    return Call(g_comctl.pfnFlatSB_GetScrollInfo, FALSE, hWnd, nBar, pInfo);
}

int AfxFlatSB_GetScrollPos(HWND hWnd, int nBar) {
    return Call(g_comctl.pfnFlatSB_GetScrollPos, 0, hWnd, nBar);
}

int AfxFlatSB_SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
    return Call(g_comctl.pfnFlatSB_SetScrollPos, 0, hWnd, nBar, nPos, bRedraw);
}
