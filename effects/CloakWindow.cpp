#include "effects/CloakWindow.h"

#include "app/Messages.h"
#include "effects/Capture.h"
#include "effects/MaskLoad.h"
#include "resource.h"
#include "windowlist/DesktopFacts.h"

namespace {

const UINT kTickMs = 50;
// How long a target may take to answer before it counts as hung and is left
// alone: the UI thread must never wait on another program for ever.
const UINT kTargetAnswerMs = 1000;
// All live cloaks together may hold at most this much memory (their frames
// and captures). The 32-bit program (large-address-aware: 4 GB of address
// space on 64-bit Windows, 2 GB on 32-bit Windows) keeps room for everything
// else in the smaller space and still cloaks two 3840 x 2160 windows at once;
// the 64-bit program, whose limit is the machine's memory, takes a window
// across two such screens side by side twice over.
#ifdef _WIN64
const unsigned long long kBudgetBytes = 3072ull << 20;
#else
const unsigned long long kBudgetBytes = 1280ull << 20;
#endif

// The memory that the live cloaks hold, in kilobytes (a LONG holds 2 TB).
volatile LONG g_nKilobytesHeld = 0;

LONG Kilobytes(unsigned long long nBytes) {
    return static_cast<LONG>((nBytes + 1023) / 1024);
}

// The time limit alone decides: the system's "hung" test (no message looked
// at for 5 s) also fails a program that has just been busy and answers at
// once, and under Wine an idle program that had just been raised was seen to
// count as hung although it answered within milliseconds. A target the system
// keeps this program from could be captured but never hidden: no effect, but
// it still leaves the screen as the user asked.
BOOL TargetAnswers(HWND hTarget) {
    const TargetReply reply = AskTarget(hTarget, kTargetAnswerMs);
    if (reply == kTargetRefuses)
        MinimiseThroughWindowMenu(hTarget);
    return reply == kTargetAnswers;
}

// Verdicts of the hide watch.
enum {
    kWatching,   // no verdict yet: the fade waits
    kHideOver,   // off the screen, or busy: the fade plays
    kHideRefuse, // the target stays where it is
};

// The target's picture over its visible frame as a 24-bit DIB section.
HBITMAP CaptureWindow(HWND hTarget, const RECT& rcFrame) {
    HDC hScreen = ::GetDC(nullptr);
    if (!hScreen)
        return nullptr;
    HDC hMemDC = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, rcFrame.right - rcFrame.left,
                                               rcFrame.bottom - rcFrame.top);
    BOOL bCopied = FALSE;
    if (hMemDC && hBitmap) {
        HGDIOBJ hOld = ::SelectObject(hMemDC, hBitmap);
        bCopied = CopyTargetPicture(hTarget, rcFrame, hMemDC);
        ::SelectObject(hMemDC, hOld);
    }
    if (hMemDC)
        ::DeleteDC(hMemDC);
    ::ReleaseDC(nullptr, hScreen);
    HBITMAP hCaptured = bCopied ? CopyToDib24(hBitmap) : nullptr;
    if (hBitmap)
        ::DeleteObject(hBitmap);
    return hCaptured;
}

} // namespace

CloakWindow::CloakWindow()
    : m_hWnd(nullptr), m_hOwner(nullptr), m_pfnProgress(nullptr), m_pProgressData(nullptr),
      m_hInstance(nullptr), m_bClassRegistered(FALSE), m_hCaptured(nullptr), m_hFrames(),
      m_hMemDC(nullptr), m_hOldBitmap(nullptr), m_ptPosition(), m_size(), m_szClassName(),
      m_hTarget(nullptr), m_nTimerId(0), m_nStep(0), m_nFrameIndex(kCloakFirstFrame),
      m_nReservedKilobytes(0), m_hideWatch() {
    ::Sleep(10);
    ::wsprintfA(m_szClassName, "cloaking window class%08x", ::GetTickCount());
}

CloakWindow::~CloakWindow() {
    if (m_nTimerId != 0)
        ::KillTimer(m_hWnd, m_nTimerId);
    // A popup that outlives the instance (at shutdown) must not lead a stray
    // WM_TIMER back to freed memory.
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    FreeFrames();
    if (m_hCaptured)
        ::DeleteObject(m_hCaptured);
    if (m_bClassRegistered)
        ::UnregisterClassA(m_szClassName, m_hInstance);
    ::InterlockedExchangeAdd(&g_nKilobytesHeld, -m_nReservedKilobytes);
}

void CloakWindow::ReportProgress(int nDone) {
    if (m_pfnProgress)
        m_pfnProgress(nDone, kCloakFrameCount, m_pProgressData);
}

// Ownership at every exit: whatever Create has made belongs to this object,
// and when Create fails the owner deletes it at once, so the destructor
// releases the capture, the frames and the class. The one exception is the
// popup, which the owner destroys only for cloaks it keeps: OpenPopup removes
// it itself when it cannot finish.
BOOL CloakWindow::Create(HINSTANCE hInstance, HWND hOwner, HWND hTarget,
                         CloakProgressFn pfnProgress, void* pUser) {
    m_hInstance = hInstance;
    m_hOwner = hOwner;
    m_hTarget = hTarget;
    m_pfnProgress = pfnProgress;
    m_pProgressData = pUser;
    ReportProgress(0);
    {
        // The target is measured and read, and the popup made and placed, in
        // physical pixels where the system has them; the progress reports
        // go to the dialog in the process's own scaled ones.
        CPhysicalPixels physical;
        if (!MeasureTarget() || !RaiseAndCapture())
            return FALSE;
    }
    if (!RegisterWindowClass())
        return FALSE;
    m_bClassRegistered = TRUE;
    return OpenPopup();
}

BOOL CloakWindow::MeasureTarget() {
    RECT rc;
    if (!GetVisibleFrame(m_hTarget, &rc) || rc.right <= rc.left || rc.bottom <= rc.top)
        return FALSE;
    m_ptPosition = {rc.left, rc.top};
    m_size = {rc.right - rc.left, rc.bottom - rc.top};
    return ReserveMemory();
}

// The frames and the capture are counted against the budget before anything
// is made: a cloak that does not fit is refused like one that cannot be
// prepared. The destructor gives the reservation back.
BOOL CloakWindow::ReserveMemory() {
    const unsigned long long nBytes = BytesFor(m_size);
    if (nBytes > kBudgetBytes)
        return FALSE;
    const LONG nNeeded = Kilobytes(nBytes);
    for (;;) {
        const LONG nHeld = g_nKilobytesHeld;
        if (nHeld + nNeeded > Kilobytes(kBudgetBytes))
            return FALSE;
        if (::InterlockedCompareExchange(&g_nKilobytesHeld, nHeld + nNeeded, nHeld) == nHeld)
            break;
    }
    m_nReservedKilobytes = nNeeded;
    return TRUE;
}

unsigned long long CloakWindow::BytesFor(SIZE size) {
    if (size.cx <= 0 || size.cy <= 0)
        return 0;
    const unsigned long long nPixels = static_cast<unsigned long long>(size.cx) * size.cy;
    const unsigned long long nCaptureRow =
        (static_cast<unsigned long long>(size.cx) * 3 + 3) / 4 * 4;
    return nPixels * 4u * kCloakFrameCount + nCaptureRow * static_cast<unsigned long long>(size.cy);
}

BOOL CloakWindow::RaiseAndCapture() {
    // A hung target is neither raised nor touched.
    if (!TargetAnswers(m_hTarget))
        return FALSE;
    ForceForegroundWindow(m_hTarget);
    // Let the raised target repaint before its pixels are read.
    ::InvalidateRect(m_hTarget, nullptr, FALSE);
    if (!TargetAnswers(m_hTarget))
        return FALSE;
    ::GdiFlush();
    const RECT rcFrame = {m_ptPosition.x, m_ptPosition.y, m_ptPosition.x + m_size.cx,
                          m_ptPosition.y + m_size.cy};
    m_hCaptured = CaptureWindow(m_hTarget, rcFrame);
    return m_hCaptured != nullptr;
}

BOOL CloakWindow::OpenPopup() {
    m_hWnd = CreateLayeredWindow();
    if (!m_hWnd)
        return FALSE;
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (BuildFrames())
        return TRUE;
    ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return FALSE;
}

BOOL CloakWindow::RegisterWindowClass() {
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = CloakWndProc;
    wc.hInstance = m_hInstance;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = m_szClassName;
    return ::RegisterClassA(&wc) != 0;
}

HWND CloakWindow::CreateLayeredWindow() {
    CPhysicalPixels physical;
    return ::CreateWindowExA(WS_EX_LAYERED | WS_EX_TOPMOST, m_szClassName, "cloaking!", WS_POPUP,
                             m_ptPosition.x, m_ptPosition.y, m_size.cx, m_size.cy, nullptr, nullptr,
                             m_hInstance, nullptr);
}

BOOL CloakWindow::BuildFrames() {
    for (int i = 0; i < kCloakFrameCount; ++i) {
        TraceReset();
        // LR_SHARED does not share a bitmap loaded at a size of its own: each
        // call makes a new one, so it is deleted as soon as its frame exists.
        HBITMAP hMask = LoadCloakMask(m_hInstance, IDB_CLOAK_MASK_FIRST + i, m_size.cx, m_size.cy);
        TraceMark();
        if (hMask) {
            m_hFrames[i] = ComposeMaskedFrame(m_hCaptured, hMask);
            ::DeleteObject(hMask);
        }
        // A frame short means the fade would show nothing there: give the
        // cloak up rather than animate a hole.
        if (!m_hFrames[i]) {
            FreeFrames();
            return FALSE;
        }
        ReportProgress(i + 1);
    }
    m_hMemDC = ::CreateCompatibleDC(nullptr);
    if (!m_hMemDC) {
        FreeFrames();
        return FALSE;
    }
    m_hOldBitmap = ::SelectObject(m_hMemDC, m_hCaptured);
    POINT ptSource = {0, 0};
    CPhysicalPixels physical;
    // The popup starts as the unchanged, opaque picture.
    ::UpdateLayeredWindow(m_hWnd, nullptr, &m_ptPosition, &m_size, m_hMemDC, &ptSource, 0, nullptr,
                          0);
    ::SelectObject(m_hMemDC, m_hFrames[0]);
    return TRUE;
}

void CloakWindow::FreeFrames() {
    if (m_hMemDC) {
        ::SelectObject(m_hMemDC, m_hOldBitmap);
        ::DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
    }
    for (HBITMAP& hFrame : m_hFrames) {
        if (hFrame)
            ::DeleteObject(hFrame);
        hFrame = nullptr;
    }
}

BOOL CloakWindow::Start() {
    ::ShowWindow(m_hWnd, SW_SHOW);
    const HideRequest request = RequestHideAndMinimise(m_hTarget);
    if (request == kHideRefused) {
        GiveUpHide();
        return FALSE;
    }
    m_hideWatch = HideWatch{};
    m_hideWatch.bActive = request == kHideAsked;
    m_hideWatch.dwAsked = ::GetTickCount();
    m_nStep = 0;
    m_nFrameIndex = kCloakFirstFrame;
    TraceReset();
    m_nTimerId = ::SetTimer(m_hWnd, reinterpret_cast<UINT_PTR>(this), kTickMs, nullptr);
    return TRUE;
}

// The target stayed where it was: no picture of it fades over it.
void CloakWindow::GiveUpHide() {
    ::ShowWindow(m_hWnd, SW_HIDE);
    MinimiseThroughWindowMenu(m_hTarget);
}

// The rules of HideAndMinimiseTarget, one look per tick instead of a wait: a
// moment to leave the screen; then the question whether the target answers,
// without waiting for the answer; a moment more after the answer (its thread
// handles the hide requests queued before it right after it). No answer
// within a moment means busy.
int CloakWindow::WatchHide() {
    HideWatch& w = m_hideWatch;
    if (!w.bActive)
        return kHideOver;
    const DWORD dwNow = ::GetTickCount();
    if (IsOffScreen(m_hTarget) ||
        (w.bPinged && !w.bAnswered && dwNow - w.dwPinged >= kHideMomentMs)) {
        w.bActive = FALSE;
        return kHideOver;
    }
    if (dwNow - w.dwAsked < kHideMomentMs)
        return kWatching;
    if (!w.bPinged) {
        w.bPinged = TRUE;
        w.dwPinged = dwNow;
        return AskWhetherTargetAnswers() ? kWatching : kHideRefuse;
    }
    return w.bAnswered && dwNow - w.dwAnswered >= kHideMomentMs ? kHideRefuse : kWatching;
}

// FALSE when the system refuses the question. One that cannot be asked for
// another reason (the target has gone) counts as answered: the next look
// decides by the screen alone.
BOOL CloakWindow::AskWhetherTargetAnswers() {
    ::SetLastError(0);
    const BOOL bSent = ::SendMessageCallbackA(m_hTarget, WM_NULL, 0, 0, CloakTargetAnswered,
                                              reinterpret_cast<ULONG_PTR>(m_hWnd));
    if (SystemRefuses(m_hTarget, !bSent))
        return FALSE;
    if (!bSent) {
        m_hideWatch.bAnswered = TRUE;
        m_hideWatch.dwAnswered = m_hideWatch.dwPinged;
    }
    return TRUE;
}

BOOL CloakWindow::Tick() {
    int nFrame = 0;
    int nOpacity = 0;
    if (!AdvanceCloakFade(m_nStep, m_nFrameIndex, nFrame, nOpacity))
        return FALSE;
    ::SelectObject(m_hMemDC, m_hFrames[nFrame]);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(nOpacity), AC_SRC_ALPHA};
    POINT ptSource = {0, 0};
    ::UpdateLayeredWindow(m_hWnd, nullptr, &m_ptPosition, &m_size, m_hMemDC, &ptSource, 0, &blend,
                          ULW_ALPHA);
    return TRUE;
}

namespace {

void EndCloak(HWND hWnd, CloakWindow* pCloak, UINT_PTR nTimerId) {
    pCloak->m_nTimerId = 0;
    ::KillTimer(hWnd, nTimerId);
    ::PostMessageA(pCloak->m_hOwner, UM_CLOAK_DONE, 0, reinterpret_cast<LPARAM>(hWnd));
}

// The instance behind a popup of this class, or null (also once the instance
// has been deleted: its destructor clears the link).
CloakWindow* CloakOf(HWND hWnd) {
    return ::IsWindow(hWnd) && ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC) ==
                                   reinterpret_cast<LONG_PTR>(CloakWndProc)
               ? reinterpret_cast<CloakWindow*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA))
               : nullptr;
}

} // namespace

LRESULT CALLBACK CloakWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        // The timer identifier is the instance; only the one this popup
        // belongs to is trusted (a WM_TIMER can be posted by anyone).
        CloakWindow* pCloak = reinterpret_cast<CloakWindow*>(wParam);
        if (pCloak && pCloak == CloakOf(hWnd)) {
            const int nWatch = pCloak->WatchHide();
            if (nWatch == kHideRefuse) {
                pCloak->GiveUpHide();
                EndCloak(hWnd, pCloak, wParam);
            } else if (nWatch == kHideOver && !pCloak->Tick()) {
                EndCloak(hWnd, pCloak, wParam);
            }
        }
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

void CALLBACK CloakTargetAnswered(HWND, UINT, ULONG_PTR dwData, LRESULT) {
    HWND hPopup = reinterpret_cast<HWND>(dwData);
    CloakWindow* pCloak = CloakOf(hPopup);
    if (pCloak && pCloak->m_hideWatch.bPinged && !pCloak->m_hideWatch.bAnswered) {
        pCloak->m_hideWatch.bAnswered = TRUE;
        pCloak->m_hideWatch.dwAnswered = ::GetTickCount();
    }
}
