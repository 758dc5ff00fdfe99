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

// A mask read once for many compositions with colour pictures of width x
// height: the pixels and colour table exactly as ComposeMaskedFrame reads
// them. A mask that is already a section of that form is read in place, so
// it must outlive this object; any other is copied.
class MaskPixels {
  public:
    MaskPixels();
    ~MaskPixels();
    MaskPixels(const MaskPixels&) = delete;
    MaskPixels& operator=(const MaskPixels&) = delete;
    // FALSE when the mask has another size or cannot be read.
    BOOL Read(HBITMAP hMask, LONG width, LONG height);
    const BYTE* Bits() const { return m_pBits; }
    const BYTE* ColourTable() const { return reinterpret_cast<const BYTE*>(m_colours); }

  private:
    HGLOBAL m_hCopy;
    const BYTE* m_pBits;
    RGBQUAD m_colours[256];
};

// The pixels of a 24-bit, bottom-up DIB section (as CopyToDib24 makes) and
// its size; null when the bitmap is not one.
const BYTE* Dib24Pixels(HBITMAP hPicture, LONG* pWidth, LONG* pHeight);

// A new premultiplied frame section of that size, its pixels unset, for
// compositions into it with ComposeMaskedPixels. Null when it cannot be had.
HBITMAP CreateFrameSection(LONG width, LONG height, BYTE** ppBits);

// A new 24-bit DIB section of that size, bottom row first, its pixels unset.
// Null when it cannot be had.
HBITMAP CreateDib24Section(LONG width, LONG height);

// A new 24-bit DIB section with the source's size and picture; the source
// stays the caller's. Null on failure.
HBITMAP CopyToDib24(HBITMAP hSource);

// Makes the target the foreground window even when the foreground lock would
// refuse it. Calls are serialised across the process, because each one
// briefly sets the system's foreground lock timeout to 0 and restores it.
// Returns the result of detaching the input states (no caller needs it).
BOOL ForceForegroundWindow(HWND hTarget);

// What became of a request to hide and then minimise a target.
enum HideRequest {
    kHideDone,    // a window of the calling thread: hidden and minimised
    kHideAsked,   // another thread's: it does so, in that order, once it answers
    kHideRefused, // the request failed
};
// Asks the target to hide, then minimise, without waiting for its thread.
HideRequest RequestHideAndMinimise(HWND hTarget);
// How long a target that takes messages may stay on screen after it was
// asked to hide; also how long its thread may take to answer before it
// counts as busy.
const DWORD kHideMomentMs = 250;
// Hidden, minimised or gone.
BOOL IsOffScreen(HWND hWnd);
// Asks the target to minimise itself through its window-menu command, which
// the system lets through to an elevated program's window where it refuses
// to hide it; if that too is refused the window stays as it was.
void MinimiseThroughWindowMenu(HWND hTarget);

// RequestHideAndMinimise, then a wait of up to three hide moments for the
// verdict. A target still on screen whose thread does not answer is merely
// busy (TRUE): it hides once it answers again. FALSE when the system refuses
// (see SystemRefuses), or the window is still on screen a moment after its
// thread answered; it is then minimised through its window menu.
BOOL HideAndMinimiseTarget(HWND hTarget);

// Timing trace on the debugger's channel: TraceMark writes "count : ms\n",
// the milliseconds since the previous mark or reset.
void TraceReset();
void TraceMark();
