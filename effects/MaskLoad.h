// Loading of the cloak's masks at a window's size.
#pragma once
#include <windows.h>

// TRUE when the program runs on Wine (its ntdll exports wine_get_version).
BOOL RunningUnderWine();

// The 8-bit mask bitmap resource nId stretched to cx x cy as an 8-bit DIB
// section with the resource's colour table. On Windows this is the system's
// own scaled load (LoadImageA with LR_SHARED | LR_CREATEDIBSECTION); on Wine,
// whose scaled load searches the colour table once per pixel and needs about
// 300 ms for 800 x 600, the same filtering is done here with
// LoadCloakMaskSmooth. Null when the mask cannot be had. The caller deletes
// the bitmap.
HBITMAP LoadCloakMask(HINSTANCE hInstance, int nId, int cx, int cy);

// Whether the module has mask resource nId (a bitmap resource of that
// number); what LoadCloakMask then makes of it is not tried.
BOOL HaveCloakMask(HINSTANCE hInstance, int nId);

// The mask that LoadCloakMask makes, written into memory the caller holds:
// Dib8Stride(cx) * cy index bytes, bottom row first, and its 256-entry colour
// table. FALSE, with neither written, when it cannot be had now. Makes no
// bitmap under Wine; elsewhere the system's scaled load is read and deleted.
BOOL ScaleCloakMask(HINSTANCE hInstance, int nId, int cx, int cy, BYTE* pBits, RGBQUAD* pColours);

// The scaling that Wine's scaled load does (bilinear filtering of the
// colour-table colours, then the nearest entry), done from the resource's own
// bits. Null when the resource is not an uncompressed bottom-up 8-bit bitmap,
// the bitmap cannot be made or the processor cannot do the filtering's
// arithmetic (ScaleMaskSmooth).
HBITMAP LoadCloakMaskSmooth(HINSTANCE hInstance, int nId, int cx, int cy);
