// Linked into a copy of the program to show that the import check refuses
// it: direct calls of functions Windows 2000 does not have (PrintWindow is
// XP's, DwmFlush Vista's). Never called.
#include <windows.h>

extern "C" HRESULT WINAPI DwmFlush();

BOOL CallNewerFunctions(HWND hWnd, HDC hdc) {
    return ::PrintWindow(hWnd, hdc, 0) && SUCCEEDED(::DwmFlush());
}
