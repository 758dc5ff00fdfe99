// Capture and composition shared by the cloak and the warp: a window's
// picture becomes a premultiplied 32-bit frame that a layered popup shows
// with per-pixel alpha.
#pragma once
#include <windows.h>

// A bitmap header with room for the 256-entry colour table of an 8-bit mask.
struct MaskInfo {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

// A new 32-bit premultiplied DIB section of the colour picture's size, its
// opacity read from the mask's colour table (red component). The mask must
// have the colour picture's width and height. Neither input is changed or
// selected. The caller owns the result (DeleteObject); null when the sizes
// differ or a buffer or the section cannot be had. Inputs that are DIB
// sections of the composition's own formats (24-bit picture, 8-bit mask,
// bottom row first) are read in place rather than copied.
HBITMAP ComposeMaskedFrame(HBITMAP hColour, HBITMAP hMask);

// A new 24-bit DIB section with the source's size and picture; the source
// stays the caller's. Null on failure.
HBITMAP CopyToDib24(HBITMAP hSource);

// Makes the target the foreground window even when the foreground lock would
// refuse it. Calls are serialised across the process, because each one
// briefly sets the system's foreground lock timeout to 0 and restores it.
// Returns the result of detaching the input states (no caller needs it).
BOOL ForceForegroundWindow(HWND hTarget);

// Hides the target, then minimises it, without waiting for a busy thread: a
// window of another thread (another program's, as a rule) is only asked to,
// and does so, in that order, once its thread answers again. A window of the
// calling thread is hidden and minimised before the call returns.
// FALSE when the system refuses (an elevated program's window, which a
// program without elevation may not hide): the request fails, or the window
// is still on screen a moment later although its thread takes messages. The
// window is then asked to minimise itself through its window-menu command,
// which the system lets through; if that too is refused it stays as it was.
BOOL HideAndMinimiseTarget(HWND hTarget);

// Timing trace on the debugger's channel: TraceMark writes "count : ms\n",
// the milliseconds since the previous mark or reset.
void TraceReset();
void TraceMark();
