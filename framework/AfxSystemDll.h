// The system's DLLs, always its own copies. The program is run from wherever
// it was unpacked, often a download folder, and Windows looks there first for
// a DLL that is not one of its known DLLs: so every such DLL is loaded here by
// the full path of the system directory, never named as an import.
#pragma once
#include <windows.h>

#include <commctrl.h>

// From now on a DLL named without a path, the ones the system loads for this
// process included, is looked for in the system directory only, where the
// system can be told so (Windows 8 on; Vista and 7 with update KB2533623).
// Elsewhere nothing changes. TRUE when the search is limited.
BOOL AfxLimitDllSearch();

// The system directory's copy of a DLL, its own dependencies looked for there
// first; null when there is none. It stays loaded for the life of the
// process, as an import would.
HMODULE AfxLoadSystemLibrary(LPCSTR pszName);

// The common controls this program uses (version 5, as the manifest names no
// other), from the system's comctl32.dll. Each answers as its failing call
// does where the library or the function is missing.
HIMAGELIST AfxImageList_Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
BOOL AfxImageList_Destroy(HIMAGELIST hList);
int AfxImageList_ReplaceIcon(HIMAGELIST hList, int nImage, HICON hIcon);
BOOL AfxImageList_Remove(HIMAGELIST hList, int nImage);
HICON AfxImageList_GetIcon(HIMAGELIST hList, int nImage, UINT nFlags);
BOOL AfxImageList_GetIconSize(HIMAGELIST hList, int* pcx, int* pcy);
BOOL AfxInitializeFlatSB(HWND hWnd);
HRESULT AfxUninitializeFlatSB(HWND hWnd);
BOOL AfxFlatSB_EnableScrollBar(HWND hWnd, int nBar, UINT nArrows);
BOOL AfxFlatSB_ShowScrollBar(HWND hWnd, int nBar, BOOL bShow);
BOOL AfxFlatSB_SetScrollProp(HWND hWnd, UINT nIndex, INT_PTR nValue, BOOL bRedraw);
int AfxFlatSB_SetScrollRange(HWND hWnd, int nBar, int nMin, int nMax, BOOL bRedraw);
BOOL AfxFlatSB_GetScrollInfo(HWND hWnd, int nBar, SCROLLINFO* pInfo);
int AfxFlatSB_GetScrollPos(HWND hWnd, int nBar);
int AfxFlatSB_SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw);
