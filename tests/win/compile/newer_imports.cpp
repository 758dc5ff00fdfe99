// Linked into a copy of the program to show that the import check refuses
// it: direct calls of functions Windows 2000 does not have (PrintWindow is
// XP's, DwmFlush Vista's), and of one it has in a DLL that is not among its
// known DLLs (comctl32.dll). Never called.
#include <windows.h>

#include <commctrl.h>

extern "C" HRESULT WINAPI DwmFlush();

BOOL CallNewerFunctions(HWND hWnd, HDC hdc) {
    return ::PrintWindow(hWnd, hdc, 0) && SUCCEEDED(::DwmFlush()) &&
           ::ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
}
