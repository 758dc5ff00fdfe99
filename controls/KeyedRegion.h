// The window region of a skinned control: every pixel of a mask bitmap whose
// colour differs from a key colour is inside.
#pragma once
#include <windows.h>

// Builds the region in the bitmap's own pixel coordinates (one unit a pixel,
// origin at the top-left corner), reading the pixels as they come back from
// a memory DC compatible with hWnd's DC, so what counts as the key follows
// the display format. The caller owns the region until it hands it to a
// window. NULL for a NULL bitmap, or when memory or GDI objects run out; a
// mask that is all key gives an empty region, not NULL.
HRGN CreateKeyedRegion(HWND hWnd, HBITMAP hBitmap, COLORREF crKey);
