#include "effects/Capture.h"

#include "effects/ComposeKernel.h"
#include "windowlist/DesktopFacts.h"
#include "framework/AfxWin.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Header of a premultiplied frame: 32 bits, BI_RGB, bottom row first.
BITMAPINFO FrameHeader(LONG width, LONG height) {
    BITMAPINFO frame = {};
    frame.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    frame.bmiHeader.biWidth = width;
    frame.bmiHeader.biHeight = height;
    frame.bmiHeader.biPlanes = 1;
    frame.bmiHeader.biBitCount = 32;
    frame.bmiHeader.biCompression = BI_RGB;
    return frame;
}

// Byte count of an image of that stride and height, or 0 when it does not
// fit the address space (a 32-bit program and a huge window).
SIZE_T ImageBytes(size_t stride, LONG height) {
    const uint64_t bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(std::labs(height));
    return bytes == 0 || bytes > static_cast<uint64_t>(SIZE_MAX / 2) ? 0
                                                                     : static_cast<SIZE_T>(bytes);
}

// Fills in the dimensions of a bitmap: GetDIBits with no lines and no buffer.
void ReadDimensions(HDC hdc, HBITMAP hBitmap, BITMAPINFO* pInfo) {
    pInfo->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ::GetDIBits(hdc, hBitmap, 0, 0, nullptr, pInfo, DIB_RGB_COLORS);
}

HGLOBAL ReadPixels(HDC hdc, HBITMAP hBitmap, BITMAPINFO* pInfo, SIZE_T nBytes) {
    if (nBytes == 0)
        return nullptr;
    HGLOBAL hMem = ::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, nBytes);
    if (!hMem)
        return nullptr;
    const UINT nLines = static_cast<UINT>(std::labs(pInfo->bmiHeader.biHeight));
    if (::GetDIBits(hdc, hBitmap, 0, nLines, hMem, pInfo, DIB_RGB_COLORS) == 0) {
        ::GlobalFree(hMem);
        return nullptr;
    }
    return hMem;
}

// A new DIB section of that size and depth, its pixels unset; null when it
// or its pixels cannot be had.
HBITMAP CreateSection(LONG width, LONG height, WORD nBitCount, size_t stride, BYTE** ppBits) {
    *ppBits = nullptr;
    if (width <= 0 || height == 0 || !ImageBytes(stride, height))
        return nullptr;
    BITMAPINFO info = FrameHeader(width, height);
    info.bmiHeader.biBitCount = nBitCount;
    void* pBits = nullptr;
    HBITMAP hSection = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hSection && !pBits) {
        ::DeleteObject(hSection);
        return nullptr;
    }
    *ppBits = static_cast<BYTE*>(pBits);
    return hSection;
}

void SetDibFormat(BITMAPINFOHEADER& header, WORD nBitCount, DWORD nClrUsed) {
    header.biBitCount = nBitCount;
    header.biCompression = BI_RGB;
    header.biXPelsPerMeter = 0;
    header.biYPelsPerMeter = 0;
    header.biClrUsed = nClrUsed;
    header.biClrImportant = nClrUsed;
}

// The one lock of ForceForegroundWindow; set up before any thread starts.
class ForegroundLock {
  public:
    ForegroundLock() { ::InitializeCriticalSection(&m_cs); }
    ~ForegroundLock() { ::DeleteCriticalSection(&m_cs); }
    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }

  private:
    CRITICAL_SECTION m_cs;
};
ForegroundLock g_foregroundLock;

const DWORD kHidePollMs = 10;

BOOL LeavesScreenWithinMoment(HWND hTarget) {
    const DWORD dwStart = ::GetTickCount();
    while (!IsOffScreen(hTarget)) {
        if (::GetTickCount() - dwStart >= kHideMomentMs)
            return FALSE;
        AfxWaitAnsweringSentMessages(nullptr, kHidePollMs);
    }
    return TRUE;
}

// One that answers (its thread handles the requests queued before the answer
// right after it) and still does not leave the screen has been refused the
// hide as surely as one the system will not let this program reach.
BOOL HideRefused(HWND hTarget) {
    if (LeavesScreenWithinMoment(hTarget))
        return FALSE;
    switch (AskTarget(hTarget, kHideMomentMs)) {
    case kTargetBusy:
        return FALSE;
    case kTargetRefuses:
        return TRUE;
    default:
        return !LeavesScreenWithinMoment(hTarget);
    }
}

int g_nLastMarkTime = 0;
int g_nMarkCount = 0;

} // namespace

namespace {

// The DIB section behind a bitmap when it has that depth, rows bottom first,
// that size and accessible bits.
BOOL DescribeSection(HBITMAP hBitmap, WORD nBitCount, LONG width, LONG height,
                     DIBSECTION* pSection) {
    return ::GetObjectA(hBitmap, sizeof *pSection, pSection) == sizeof *pSection &&
           pSection->dsBm.bmBits && pSection->dsBmih.biBitCount == nBitCount &&
           pSection->dsBmih.biCompression == BI_RGB && pSection->dsBmih.biWidth == width &&
           pSection->dsBmih.biHeight == height;
}

// Pixels of one input in the form the composition reads them: straight from
// a DIB section that already has it (a cloak composes its frames from one
// captured picture and 15 sections of masks), otherwise a copy made by
// GetDIBits.
class PixelSource {
  public:
    PixelSource() = default;
    PixelSource(const PixelSource&) = delete;
    PixelSource& operator=(const PixelSource&) = delete;
    ~PixelSource() {
        if (m_hCopy)
            ::GlobalFree(m_hCopy);
    }
    // pInfo: the header GetDIBits filled in and the format wanted. pTable:
    // for a mask, the 256-entry colour table after the header, filled in too.
    BOOL Read(HDC hdc, HBITMAP hBitmap, BITMAPINFO* pInfo, RGBQUAD* pTable, SIZE_T nBytes) {
        const BITMAPINFOHEADER& header = pInfo->bmiHeader;
        DIBSECTION section = {};
        if (nBytes && DescribeSection(hBitmap, header.biBitCount, header.biWidth, header.biHeight,
                                      &section)) {
            if (pTable) {
                // Entries past the section's own table read as 0, as
                // GetDIBits gives them.
                std::memset(pTable, 0, 256 * sizeof(RGBQUAD));
                HDC hMemDC = ::CreateCompatibleDC(hdc);
                if (!hMemDC)
                    return FALSE;
                HGDIOBJ hOld = ::SelectObject(hMemDC, hBitmap);
                ::GetDIBColorTable(hMemDC, 0, 256, pTable);
                ::SelectObject(hMemDC, hOld);
                ::DeleteDC(hMemDC);
            }
            // Drawing into the section may still be queued.
            ::GdiFlush();
            m_pBits = static_cast<const uint8_t*>(section.dsBm.bmBits);
            return TRUE;
        }
        m_hCopy = ReadPixels(hdc, hBitmap, pInfo, nBytes);
        m_pBits = static_cast<const uint8_t*>(m_hCopy);
        return m_pBits != nullptr;
    }
    const uint8_t* Bits() const { return m_pBits; }
    // Hands the copy, if one was made, to the caller.
    HGLOBAL DetachCopy() {
        HGLOBAL hCopy = m_hCopy;
        m_hCopy = nullptr;
        return hCopy;
    }

  private:
    HGLOBAL m_hCopy = nullptr;
    const uint8_t* m_pBits = nullptr;
};

} // namespace

HBITMAP ComposeMaskedFrame(HBITMAP hColour, HBITMAP hMask) {
    HDC hScreen = ::GetDC(nullptr);
    BITMAPINFO colour = {};
    ReadDimensions(hScreen, hColour, &colour);
    SetDibFormat(colour.bmiHeader, 24, 0);
    MaskInfo mask = {};
    ReadDimensions(hScreen, hMask, reinterpret_cast<BITMAPINFO*>(&mask));
    SetDibFormat(mask.bmiHeader, 8, 256);

    const LONG width = colour.bmiHeader.biWidth;
    const LONG height = colour.bmiHeader.biHeight;
    // A mask of another size would be read past its rows; the mask is read in
    // the colour picture's row order so that the rows line up.
    if (width <= 0 || height == 0 || mask.bmiHeader.biWidth != width ||
        std::labs(mask.bmiHeader.biHeight) != std::labs(height)) {
        ::ReleaseDC(nullptr, hScreen);
        return nullptr;
    }
    mask.bmiHeader.biHeight = height;

    BITMAPINFO frame = FrameHeader(width, height);

    HBITMAP hFrame = nullptr;
    PixelSource colourBits, maskBits;
    const BOOL bColour =
        colourBits.Read(hScreen, hColour, &colour, nullptr, ImageBytes(Dib24Stride(width), height));
    TraceMark();
    const BOOL bMask =
        bColour && maskBits.Read(hScreen, hMask, reinterpret_cast<BITMAPINFO*>(&mask),
                                 mask.bmiColors, ImageBytes(Dib8Stride(width), height));
    TraceMark();
    void* pBits = nullptr;
    if (bMask && ImageBytes(Dib32Stride(width), height))
        hFrame = ::CreateDIBSection(hScreen, &frame, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hFrame && pBits)
        ComposeMaskedPixels(width, std::labs(height), colourBits.Bits(), maskBits.Bits(),
                            reinterpret_cast<const uint8_t*>(mask.bmiColors),
                            static_cast<uint8_t*>(pBits));
    TraceMark();
    ::ReleaseDC(nullptr, hScreen);
    return hFrame;
}

MaskPixels::MaskPixels() : m_hCopy(nullptr), m_pBits(nullptr), m_colours() {}

MaskPixels::~MaskPixels() {
    if (m_hCopy)
        ::GlobalFree(m_hCopy);
}

// The same reads, in the same order and form, as ComposeMaskedFrame's.
BOOL MaskPixels::Read(HBITMAP hMask, LONG width, LONG height) {
    if (width <= 0 || height == 0)
        return FALSE;
    HDC hScreen = ::GetDC(nullptr);
    MaskInfo mask = {};
    ReadDimensions(hScreen, hMask, reinterpret_cast<BITMAPINFO*>(&mask));
    SetDibFormat(mask.bmiHeader, 8, 256);
    BOOL bRead = FALSE;
    if (mask.bmiHeader.biWidth == width &&
        std::labs(mask.bmiHeader.biHeight) == std::labs(height)) {
        mask.bmiHeader.biHeight = height;
        PixelSource source;
        bRead = source.Read(hScreen, hMask, reinterpret_cast<BITMAPINFO*>(&mask), mask.bmiColors,
                            ImageBytes(Dib8Stride(width), height));
        m_pBits = source.Bits();
        m_hCopy = source.DetachCopy();
        std::memcpy(m_colours, mask.bmiColors, sizeof m_colours);
    }
    ::ReleaseDC(nullptr, hScreen);
    return bRead;
}

const BYTE* Dib24Pixels(HBITMAP hPicture, LONG* pWidth, LONG* pHeight) {
    DIBSECTION section = {};
    if (::GetObjectA(hPicture, sizeof section, &section) != sizeof section ||
        !DescribeSection(hPicture, 24, section.dsBmih.biWidth, section.dsBmih.biHeight, &section) ||
        section.dsBmih.biWidth <= 0 || section.dsBmih.biHeight <= 0)
        return nullptr;
    *pWidth = section.dsBmih.biWidth;
    *pHeight = section.dsBmih.biHeight;
    return static_cast<const BYTE*>(section.dsBm.bmBits);
}

HBITMAP CreateFrameSection(LONG width, LONG height, BYTE** ppBits) {
    return CreateSection(width, height, 32, Dib32Stride(width), ppBits);
}

HBITMAP CreateDib24Section(LONG width, LONG height) {
    BYTE* pBits = nullptr;
    return height > 0 ? CreateSection(width, height, 24, Dib24Stride(width), &pBits) : nullptr;
}

HBITMAP CopyToDib24(HBITMAP hSource) {
    HDC hScreen = ::GetDC(nullptr);
    BITMAPINFO source = {};
    ReadDimensions(hScreen, hSource, &source);
    SetDibFormat(source.bmiHeader, 24, 0);

    BITMAPINFO dest = {};
    dest.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    dest.bmiHeader.biWidth = source.bmiHeader.biWidth;
    dest.bmiHeader.biHeight = source.bmiHeader.biHeight;
    dest.bmiHeader.biPlanes = 1;
    dest.bmiHeader.biBitCount = 24;

    HBITMAP hDib = nullptr;
    const SIZE_T nBytes =
        source.bmiHeader.biWidth > 0
            ? ImageBytes(Dib24Stride(source.bmiHeader.biWidth), source.bmiHeader.biHeight)
            : 0;
    HGLOBAL hBits = ReadPixels(hScreen, hSource, &source, nBytes);
    void* pBits = nullptr;
    if (hBits)
        hDib = ::CreateDIBSection(hScreen, &dest, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hDib && pBits)
        std::memcpy(pBits, hBits, nBytes);
    ::ReleaseDC(nullptr, hScreen);
    if (hBits)
        ::GlobalFree(hBits);
    return hDib;
}

BOOL ForceForegroundWindow(HWND hTarget) {
    g_foregroundLock.Enter();
    const DWORD dwForeground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const DWORD dwTarget = ::GetWindowThreadProcessId(hTarget, nullptr);
    ::AttachThreadInput(dwTarget, dwForeground, TRUE);
    DWORD dwTimeout = 0;
    ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &dwTimeout, 0);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    ::SetForegroundWindow(hTarget);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                            reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(dwTimeout)), 0);
    const BOOL bResult = ::AttachThreadInput(dwTarget, dwForeground, FALSE);
    g_foregroundLock.Leave();
    return bResult;
}

BOOL IsOffScreen(HWND hWnd) {
    return !::IsWindowVisible(hWnd) || ::IsIconic(hWnd);
}

HideRequest RequestHideAndMinimise(HWND hTarget) {
    if (::GetWindowThreadProcessId(hTarget, nullptr) == ::GetCurrentThreadId()) {
        ::ShowWindow(hTarget, SW_HIDE);
        ::ShowWindow(hTarget, SW_MINIMIZE);
        return kHideDone;
    }
    // ShowWindow would wait for as long as the target's thread is busy.
    return ::ShowWindowAsync(hTarget, SW_HIDE) && ::ShowWindowAsync(hTarget, SW_MINIMIZE)
               ? kHideAsked
               : kHideRefused;
}

void MinimiseThroughWindowMenu(HWND hTarget) {
    ::PostMessageA(hTarget, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

BOOL HideAndMinimiseTarget(HWND hTarget) {
    const HideRequest request = RequestHideAndMinimise(hTarget);
    if (request == kHideDone || (request == kHideAsked && !HideRefused(hTarget)))
        return TRUE;
    MinimiseThroughWindowMenu(hTarget);
    return FALSE;
}

void TraceReset() {
    g_nLastMarkTime = static_cast<int>(::GetTickCount());
    g_nMarkCount = 0;
}

void TraceMark() {
    const int nNow = static_cast<int>(::GetTickCount());
    // Unsigned difference: the tick count wraps, and signed overflow must not.
    const int nElapsed =
        static_cast<int>(static_cast<unsigned>(nNow) - static_cast<unsigned>(g_nLastMarkTime));
    char szLine[32];
    ::wsprintfA(szLine, "%d : %d\n", g_nMarkCount, nElapsed);
    ::OutputDebugStringA(szLine);
    g_nLastMarkTime = nNow;
    ++g_nMarkCount;
}
