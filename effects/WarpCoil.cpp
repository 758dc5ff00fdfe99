#include "effects/WarpCoil.h"

#include "app/Messages.h"
#include "framework/AfxWin.h"
#include "effects/Capture.h"
#include "effects/CoilMath.h"
#include "resource.h"
#include "windowlist/DesktopFacts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kCoilClassPrefix[] = "warp coil window class";
const int kFramePauseMs = 20;
WarpCoil::FrameObserver g_pfnFrameObserver = nullptr;

BLENDFUNCTION CoilBlend(float fFactor) {
    BLENDFUNCTION bf = {AC_SRC_OVER, 0, (BYTE)FlareAlpha(fFactor), AC_SRC_ALPHA};
    return bf;
}

} // namespace

WarpCoil::WarpCoil() {
    // Each coil registers a class of its own, named after the tick count.
    ::Sleep(10);
    std::snprintf(m_szClassName, sizeof m_szClassName, "%s%08lx", kCoilClassPrefix,
                  (unsigned long)::GetTickCount());
    m_hWnd = nullptr;
    m_hImageDC = nullptr;
    m_hImage = nullptr;
    m_hFrameDC = nullptr;
    m_hFrameBitmap = nullptr;
    m_bClassRegistered = FALSE;
    m_hThread = nullptr;
    m_hOwner = nullptr;
    m_hInstance = nullptr;
    m_nFrame = 0;
    m_hOldImage = nullptr;
    m_hOldFrame = nullptr;
    m_ptPlacement = POINT{0, 0};
    m_size = SIZE{0, 0};
    m_ptCentre = POINT{0, 0};
}

BOOL WarpCoil::Create(HINSTANCE hInstance, HWND hOwner, int nSpread) {
    m_hOwner = hOwner;
    m_hInstance = hInstance;
    // Placed and made in the pixels the ship flies in.
    CPhysicalPixels physical;
    if (!RegisterCoilClass())
        return FALSE;
    m_bClassRegistered = TRUE;
    LoadAndPlace(nSpread);
    return CreateCoilWindow();
}

BOOL WarpCoil::RegisterCoilClass() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA; // the coil handles no message itself
    wc.hInstance = m_hInstance;
    wc.hCursor = ::LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = m_szClassName;
    return ::RegisterClassA(&wc) != 0;
}

void WarpCoil::LoadAndPlace(int nSpread) {
    HDC hScreen = ::GetDC(nullptr);
    m_hImageDC = ::CreateCompatibleDC(hScreen);
    m_hFrameDC = ::CreateCompatibleDC(hScreen);
    HBITMAP hColour = ::LoadBitmapA(m_hInstance, MAKEINTRESOURCEA(IDB_COIL));
    HBITMAP hMask = ::LoadBitmapA(m_hInstance, MAKEINTRESOURCEA(IDB_COIL_MASK));
    m_hImage = ComposeMaskedFrame(hColour, hMask);
    m_hOldImage = ::SelectObject(m_hImageDC, m_hImage);
    BITMAP bm = {};
    ::GetObjectA(m_hImage, sizeof bm, &bm);
    m_size = SIZE{bm.bmWidth, bm.bmHeight};
    // Compatible with the image DC, so the frame has the image's 32-bit format.
    m_hFrameBitmap = ::CreateCompatibleBitmap(m_hImageDC, m_size.cx, m_size.cy);
    m_hOldFrame = ::SelectObject(m_hFrameDC, m_hFrameBitmap);
    ::DeleteObject(hColour);
    ::DeleteObject(hMask);
    ::ReleaseDC(nullptr, hScreen);

    const Point32 place =
        CoilPlacement(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    m_ptPlacement = POINT{place.x, place.y};
    const int nRandX = std::rand(); // x first, then y: the order is part of the result
    const int nRandY = std::rand();
    const Point32 centre = CoilCentre(place, Size32{m_size.cx, m_size.cy}, nRandX, nRandY, nSpread);
    m_ptCentre = POINT{centre.x, centre.y};
}

BOOL WarpCoil::CreateCoilWindow() {
    HWND hWnd = ::CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST, m_szClassName, "warp1!", WS_POPUP,
                                  m_ptPlacement.x, m_ptPlacement.y, m_size.cx, m_size.cy, nullptr,
                                  nullptr, m_hInstance, nullptr);
    if (hWnd) {
        // Frame 0: the whole image at constant alpha 0, so nothing shows yet.
        POINT ptSrc = {0, 0};
        BLENDFUNCTION bf = CoilBlend(FlareCurve(0));
        ::UpdateLayeredWindow(hWnd, nullptr, &m_ptPlacement, &m_size, m_hImageDC, &ptSrc, 0, &bf,
                              ULW_ALPHA);
    }
    m_hWnd = hWnd;
    return hWnd != nullptr;
}

float WarpCoil::FlareCurve(int n) {
    return ::FlareCurve(n);
}

void WarpCoil::ScaleAboutCentre(float fFactor, POINT& ptTopLeft, SIZE& size, POINT ptCentre) {
    Point32 topLeft = {ptTopLeft.x, ptTopLeft.y};
    Size32 sz = {size.cx, size.cy};
    ::ScaleAboutCentre(fFactor, topLeft, sz, Point32{ptCentre.x, ptCentre.y});
    ptTopLeft = POINT{topLeft.x, topLeft.y};
    size = SIZE{sz.cx, sz.cy};
}

BOOL WarpCoil::Start() {
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::InterlockedExchange(&m_nFrame, 0);
    m_hThread = ::CreateThread(nullptr, 0, CoilThreadProc, this, 0, nullptr);
    return m_hThread != nullptr;
}

int WarpCoil::NextFrame() {
    // Compare-exchange, so that a stop request stored between the read and
    // the write is never overwritten: the thread then claims frame 0.
    LONG nSeen = m_nFrame;
    for (;;) {
        const LONG nNext = nSeen + 1;
        const LONG nWas = ::InterlockedCompareExchange(&m_nFrame, nNext, nSeen);
        if (nWas == nSeen)
            return (int)nNext;
        nSeen = nWas;
    }
}

DWORD WINAPI CoilThreadProc(LPVOID pParam) {
    WarpCoil* pCoil = static_cast<WarpCoil*>(pParam);
    CPhysicalPixels physical; // the frames are placed where Create placed the coil
    HWND hWnd = pCoil->m_hWnd;
    for (;;) {
        const int n = pCoil->NextFrame();
        const float f = WarpCoil::FlareCurve(n);
        BLENDFUNCTION bf = CoilBlend(f);
        POINT ptTopLeft = {0, 0};
        SIZE size = pCoil->GetSize();
        WarpCoil::ScaleAboutCentre(f, ptTopLeft, size, pCoil->GetCentre());
        const SIZE full = pCoil->GetSize();
        ::StretchBlt(pCoil->GetFrameDC(), 0, 0, size.cx, size.cy, pCoil->GetImageDC(), 0, 0,
                     full.cx, full.cy, SRCCOPY);
        POINT ptSrc = {0, 0};
        ::UpdateLayeredWindow(hWnd, nullptr, &ptTopLeft, &size, pCoil->GetFrameDC(), &ptSrc, 0, &bf,
                              ULW_ALPHA);
        if (g_pfnFrameObserver)
            g_pfnFrameObserver(hWnd, n, bf.SourceConstantAlpha, ptTopLeft, size);
        if (f <= 0.0f)
            break;
        ::Sleep(kFramePauseMs);
    }
    ::PostMessageA(pCoil->m_hOwner, UM_COIL_DONE, 0, (LPARAM)hWnd);
    pCoil->m_hWnd = nullptr;
    return 0;
}

HANDLE WarpCoil::RequestStop() {
    if (m_hThread)
        ::InterlockedExchange(&m_nFrame, -1);
    return m_hThread;
}

void WarpCoil::Destroy() {
    if (RequestStop()) {
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hWnd && ::IsWindow(m_hWnd))
        ReleaseWindow(m_hWnd);
    m_hWnd = nullptr;
    ReleaseGdi();
    // Fails while a window handed back to its own thread still exists; that
    // thread drops the class when it disposes of the window.
    if (m_bClassRegistered && ::UnregisterClassA(m_szClassName, m_hInstance))
        m_bClassRegistered = FALSE;
}

void WarpCoil::ReleaseGdi() {
    if (m_hImageDC) {
        ::SelectObject(m_hImageDC, m_hOldImage);
        ::DeleteDC(m_hImageDC);
        m_hImageDC = nullptr;
    }
    if (m_hImage) {
        ::DeleteObject(m_hImage);
        m_hImage = nullptr;
    }
    if (m_hFrameDC) {
        ::SelectObject(m_hFrameDC, m_hOldFrame);
        ::DeleteDC(m_hFrameDC);
        m_hFrameDC = nullptr;
    }
    if (m_hFrameBitmap) {
        ::DeleteObject(m_hFrameBitmap);
        m_hFrameBitmap = nullptr;
    }
}

BOOL WarpCoil::DisposeWindow(HWND hWnd) {
    char szClass[64] = "";
    if (!AfxIsWindowOfThisThread(hWnd) || !::GetClassNameA(hWnd, szClass, sizeof szClass) ||
        std::strncmp(szClass, kCoilClassPrefix, sizeof kCoilClassPrefix - 1) != 0)
        return FALSE;
    HINSTANCE hInstance = (HINSTANCE)::GetWindowLongPtrA(hWnd, GWLP_HINSTANCE);
    ::DestroyWindow(hWnd);
    // Whether or not the coil object still exists, its Destroy could not
    // drop a class that still had this window: the class goes with it.
    ::UnregisterClassA(szClass, hInstance);
    return TRUE;
}

void WarpCoil::ReleaseWindow(HWND hWnd) {
    if (AfxIsWindowOfThisThread(hWnd))
        ::DestroyWindow(hWnd);
    else if (::IsWindow(hWnd))
        ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
}

void WarpCoil::SetFrameObserver(FrameObserver pfn) {
    g_pfnFrameObserver = pfn;
}
