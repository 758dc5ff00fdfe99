// The icon a window is listed with: its class icon. Where the system cannot
// tell a window's class icon at all (Wine answers no class queries about
// windows of other processes), the icon comes from the window's program file
// instead, or is the stock application icon.
#pragma once
#include <windows.h>

struct ListIcon {
    HICON hIcon;
    BOOL bOwned; // destroy with ReleaseListIcon
};

// FALSE when the window's class has no icon (or the window is gone): such a
// window is not listed.
BOOL GetListIcon(HWND hWnd, ListIcon* pIcon);
void ReleaseListIcon(ListIcon* pIcon);

// The first large icon of the program that runs the process, or null.
// The caller destroys it.
HICON GetProgramFileIcon(DWORD dwProcessId);
