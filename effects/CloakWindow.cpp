#include "effects/CloakWindow.h"

#include "app/Messages.h"
#include "effects/Capture.h"
#include "effects/CloakMasks.h"
#include "effects/ComposeKernel.h"
#include "windowlist/DesktopFacts.h"

namespace {

const UINT kTickMs = 50;
// How long a target may take to answer before it counts as hung and is left
// alone: the UI thread must never wait on another program for ever.
const UINT kTargetAnswerMs = 1000;
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

// The target's picture over its visible frame, copied straight into a
// 24-bit DIB section: a large window is read once, not copied again.
HBITMAP CaptureWindow(HWND hTarget, const RECT& rcFrame) {
    HBITMAP hCaptured =
        CreateDib24Section(rcFrame.right - rcFrame.left, rcFrame.bottom - rcFrame.top);
    HDC hMemDC = hCaptured ? ::CreateCompatibleDC(nullptr) : nullptr;
    BOOL bCopied = FALSE;
    if (hMemDC) {
        HGDIOBJ hOld = ::SelectObject(hMemDC, hCaptured);
        bCopied = CopyTargetPicture(hTarget, rcFrame, hMemDC);
        ::SelectObject(hMemDC, hOld);
        ::DeleteDC(hMemDC);
    }
    if (hCaptured && !bCopied) {
        ::DeleteObject(hCaptured);
        hCaptured = nullptr;
    }
    return hCaptured;
}

} // namespace

CloakWindow::CloakWindow()
    : m_hWnd(nullptr), m_hOwner(nullptr), m_pfnProgress(nullptr), m_pProgressData(nullptr),
      m_hInstance(nullptr), m_bClassRegistered(FALSE), m_hCaptured(nullptr), m_pMasks(nullptr),
      m_pMaskBits(nullptr), m_pMaskColours(nullptr), m_hFrame(nullptr), m_pFrameBits(nullptr),
      m_pCapturedBits(nullptr), m_hMemDC(nullptr), m_hOldBitmap(nullptr), m_ptPosition(), m_size(),
      m_szClassName(), m_hTarget(nullptr), m_nTimerId(0), m_nStep(0),
      m_nFrameIndex(kCloakFirstFrame), m_nReservedKilobytes(0), m_hideWatch() {
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
    ReturnCloakMemory(m_nReservedKilobytes);
}

void CloakWindow::ReportProgress(int nDone) {
    if (m_pfnProgress)
        m_pfnProgress(nDone, kCloakFrameCount, m_pProgressData);
}

// Ownership at every exit: whatever Create has made belongs to this object,
// and when Create fails the owner deletes it at once, so the destructor
// releases the capture, the masks, the frame section and the class. The one exception is the
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

// The capture, the frame section and the masks are counted against the
// budget before anything is made: a cloak that does not fit is refused like
// one that cannot be prepared. The masks' share goes to their set once it is
// made or found (PrepareFrames); the destructor gives the rest back.
BOOL CloakWindow::ReserveMemory() {
    const unsigned long long nBytes =
        CloakMasks::IsLive(m_hInstance, m_size) ? OwnBytesFor(m_size) : BytesFor(m_size);
    return ReserveCloakMemory(nBytes, &m_nReservedKilobytes);
}

unsigned long long CloakWindow::OwnBytesFor(SIZE size) {
    if (size.cx <= 0 || size.cy <= 0)
        return 0;
    return (static_cast<unsigned long long>(Dib32Stride(size.cx)) + Dib24Stride(size.cx)) *
           static_cast<unsigned long long>(size.cy);
}

unsigned long long CloakWindow::BytesFor(SIZE size) {
    return OwnBytesFor(size) + CloakMasks::BytesFor(size);
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
    if (PrepareFrames())
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

void CloakWindow::MaskMade(int nDone, void* pThis) {
    static_cast<CloakWindow*>(pThis)->ReportProgress(nDone);
}

// Whatever a step needs is made here, so that a step cannot fail: the masks
// (shared with live cloaks of this size) with the first frame's scaled, one
// frame section and the DC that shows it.
BOOL CloakWindow::PrepareFrames() {
    LONG width = 0, height = 0;
    m_pCapturedBits = Dib24Pixels(m_hCaptured, &width, &height);
    if (!m_pCapturedBits || width != m_size.cx || height != m_size.cy)
        return FALSE;
    const LONG nOwn = Kilobytes(OwnBytesFor(m_size));
    ReturnCloakMemory(m_nReservedKilobytes - nOwn);
    m_nReservedKilobytes = nOwn;
    m_pMasks = CloakMasks::Acquire(m_hInstance, m_size, MaskMade, this);
    if (m_pMasks && m_pMasks->Get(kCloakFirstFrame, &m_pMaskBits, &m_pMaskColours))
        m_hFrame = CreateFrameSection(width, height, &m_pFrameBits);
    if (m_hFrame)
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
    ::SelectObject(m_hMemDC, m_hFrame);
    return TRUE;
}

void CloakWindow::FreeFrames() {
    if (m_hMemDC) {
        ::SelectObject(m_hMemDC, m_hOldBitmap);
        ::DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
    }
    if (m_hFrame)
        ::DeleteObject(m_hFrame);
    m_hFrame = nullptr;
    m_pFrameBits = nullptr;
    CloakMasks::Release(m_pMasks);
    m_pMasks = nullptr;
    m_pMaskBits = nullptr;
    m_pMaskColours = nullptr;
}

void CloakWindow::ComposeFrame(int nFrame) {
    m_pMasks->Get(nFrame, &m_pMaskBits, &m_pMaskColours);
    // The system may still read the section for the previous step.
    ::GdiFlush();
    ComposeMaskedPixels(m_size.cx, m_size.cy, m_pCapturedBits, m_pMaskBits, m_pMaskColours,
                        m_pFrameBits);
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
    ComposeFrame(nFrame);
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
