// The warp-ship transition: the captured image of a target window, shown in a
// topmost shaped popup (the ship), is squeezed frame by frame into a triangle
// that collapses onto the centre of the window's warp coil; then the coil is
// started. One ship exists at a time; its state is module-level.
#pragma once
#include <windows.h>

#include "effects/MorphGeometry.h"

class WarpCoil;

// Module state of the one ship.
struct WarpShip {
    HWND hShip;
    HINSTANCE hClassInstance; // non-null: the class must be unregistered
    int nRegions;             // regions set on the current ship window
    RECT rcTarget;            // R: the visible frame, screen coordinates
    RECT rcShip;              // UnionRectPoint(P, R)
    int nOriginX, nOriginY;   // rcShip's top-left
    int nWidth, nHeight;      // W and Hh of the target
    HDC hImageDC;
    HBITMAP hImage;
    HGDIOBJ hOldImage;
};

// Captures the target, covers it with the ship, hides and minimises it, plays
// the morph toward the coil's centre and starts the coil. Returns 1 when the
// transition has played, 0 when the target does not answer, the class or the
// window cannot be created, or the system refuses to hide the target (the
// ship is then gone again and the coil not started).
int StartWarpShip(HINSTANCE hInstance, HWND hTarget, WarpCoil* pCoil, int nFirst);
// Removes the previous ship: region, images, window (if it is still there
// and the caller's) and class. Harmless when there is none.
void DestroyWarpShip();
void ReleaseWarpShipImages();
LRESULT CALLBACK WarpShipWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Maps the source band (xs, ys, ws, hs) of hdcSrc onto Q in strips three rows
// high, with one StretchBlt each. Strips whose source row lies outside the
// bitmap selected into hdcSrc are left out. Returns 0.
int StretchQuadStrips(HDC hdcDst, const MorphQuad& q, HDC hdcSrc, int xs, int ys, int ws, int hs,
                      DWORD dwRop);

// How long StartWarpShip waits for the target to answer before skipping it.
const UINT kWarpTargetTimeoutMs = 2000;

// Test and benchmark seam: told of every region the ship sets (outline in
// ship-window coordinates, right after SetWindowRgn) and of every strip draw
// (number of StretchBlt calls it made).
struct WarpShipObserver {
    void (*pfnRegion)(void* pUser, HWND hShip, const POINT* pts, int nPoints);
    void (*pfnDraw)(void* pUser, int nBlits);
    void* pUser;
};
void SetWarpShipObserver(const WarpShipObserver* pObserver);
const WarpShip& GetWarpShipState();
