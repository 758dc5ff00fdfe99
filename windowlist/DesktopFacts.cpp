#include "windowlist/DesktopFacts.h"

#include "framework/AfxSystemDll.h"
#include "windowlist/Qualify.h"

namespace {

// How long a raised target may take to answer before its picture is read.
const UINT kRaiseAnswerMs = 1000;

template <typename Fn> void Find(HMODULE hModule, const char* pszName, Fn* pfn) {
    *pfn = hModule
               ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName)))
               : nullptr;
}

DesktopCalls LookUp() {
    DesktopCalls calls = {};
    HMODULE hDwm = AfxLoadSystemLibrary("dwmapi.dll");
    HMODULE hUser = ::GetModuleHandleA("user32.dll");
    Find(hDwm, "DwmIsCompositionEnabled", &calls.pfnDwmIsCompositionEnabled);
    Find(hDwm, "DwmGetWindowAttribute", &calls.pfnDwmGetWindowAttribute);
    Find(hDwm, "DwmFlush", &calls.pfnDwmFlush);
    Find(hUser, "PrintWindow", &calls.pfnPrintWindow);
    Find(hUser, "SetThreadDpiAwarenessContext", &calls.pfnSetThreadDpiAwarenessContext);
    Find(hUser, "GetShellWindow", &calls.pfnGetShellWindow);
    // Loaded already by the system's own DLLs that the program imports.
    HMODULE hAdvapi = ::GetModuleHandleA("advapi32.dll");
    Find(hAdvapi, "OpenProcessToken", &calls.pfnOpenProcessToken);
    Find(hAdvapi, "GetTokenInformation", &calls.pfnGetTokenInformation);
    Find(hUser, "GetWindowDpiAwarenessContext", &calls.pfnGetWindowDpiAwarenessContext);
    return calls;
}

// Looked up as the program starts, before any thread of its own runs.
const DesktopCalls g_system = LookUp();
const DesktopCalls* volatile g_pCalls = nullptr;

const DesktopCalls& Calls() {
    const DesktopCalls* pCalls = g_pCalls;
    return pCalls ? *pCalls : SystemDesktopCalls();
}

BOOL ReadAttribute(HWND hWnd, DWORD dwAttribute, void* pValue, DWORD cbValue) {
    const DesktopCalls& calls = Calls();
    return calls.pfnDwmGetWindowAttribute &&
           SUCCEEDED(calls.pfnDwmGetWindowAttribute(hWnd, dwAttribute, pValue, cbValue));
}

// A layered window that takes no input (a recording or game overlay) is
// one the user looks and clicks through: it covers nothing.
BOOL ClickThrough(HWND hWnd) {
    const LONG_PTR nBoth = WS_EX_LAYERED | WS_EX_TRANSPARENT;
    return (::GetWindowLongPtrA(hWnd, GWL_EXSTYLE) & nBoth) == nBoth;
}

BOOL OverlapsFrame(HWND hWnd, const RECT& rcFrame) {
    RECT rc, rcBoth;
    return ::IsWindowVisible(hWnd) && !::IsIconic(hWnd) && !ClickThrough(hWnd) &&
           !IsWindowCloaked(hWnd) && GetVisibleFrame(hWnd, &rc) &&
           ::IntersectRect(&rcBoth, &rc, &rcFrame);
}

// Whether the screen shows the target over the whole frame: no window above
// it in the z-order (topmost ones, earlier effect popups) lies over it.
BOOL NothingAbove(HWND hTarget, const RECT& rcFrame) {
    HWND hWnd = ::GetTopWindow(nullptr);
    for (int n = 0; hWnd && n < kMaxWindowsAbove; ++n, hWnd = ::GetWindow(hWnd, GW_HWNDNEXT)) {
        if (hWnd == hTarget)
            return TRUE;
        if (OverlapsFrame(hWnd, rcFrame))
            return FALSE;
    }
    return FALSE; // not found among the top-level windows, or not soon enough
}

int Width(const RECT& rc) {
    return rc.right - rc.left;
}
int Height(const RECT& rc) {
    return rc.bottom - rc.top;
}

// The target's picture as its window DC and its own rendering hold it: its
// size in its own coordinates, and where the frame lies in it. A DPI-unaware
// target on a scaled monitor renders at its logical size, which the system
// stretches on screen; its rectangle read in its own DPI context is that
// size, and no scale needs to be known.
struct OwnPicture {
    SIZE size;
    RECT rcFrame;
};

SIZE OwnSize(HWND hTarget, const RECT& rcWindow) {
    SIZE size = {Width(rcWindow), Height(rcWindow)};
    const DesktopCalls& calls = Calls();
    if (!calls.pfnGetWindowDpiAwarenessContext || !calls.pfnSetThreadDpiAwarenessContext)
        return size;
    HANDLE hOwn = calls.pfnGetWindowDpiAwarenessContext(hTarget);
    HANDLE hPrevious = hOwn ? calls.pfnSetThreadDpiAwarenessContext(hOwn) : nullptr;
    if (!hPrevious)
        return size;
    RECT rc;
    if (::GetWindowRect(hTarget, &rc) && Width(rc) > 0 && Height(rc) > 0)
        size = SIZE{Width(rc), Height(rc)};
    calls.pfnSetThreadDpiAwarenessContext(hPrevious);
    return size;
}

OwnPicture MapOwnPicture(HWND hTarget, const RECT& rcFrame, const RECT& rcWindow) {
    OwnPicture own = {OwnSize(hTarget, rcWindow), {}};
    const int cx = Width(rcWindow), cy = Height(rcWindow);
    if ((own.size.cx == cx && own.size.cy == cy) || cx <= 0 || cy <= 0) {
        own.size = SIZE{cx, cy};
        own.rcFrame = RECT{rcFrame.left - rcWindow.left, rcFrame.top - rcWindow.top,
                           rcFrame.right - rcWindow.left, rcFrame.bottom - rcWindow.top};
        return own;
    }
    own.rcFrame = RECT{::MulDiv(rcFrame.left - rcWindow.left, own.size.cx, cx),
                       ::MulDiv(rcFrame.top - rcWindow.top, own.size.cy, cy),
                       ::MulDiv(rcFrame.right - rcWindow.left, own.size.cx, cx),
                       ::MulDiv(rcFrame.bottom - rcWindow.top, own.size.cy, cy)};
    return own;
}

// The part of the source onto the whole frame: a plain copy at the same
// size; otherwise smoothed, as the compositor smooths the stretched window
// the user saw, rather than with every other pixel doubled.
BOOL CopyPart(HDC hDest, const RECT& rcFrame, HDC hSource, const RECT& rcPart) {
    const int cx = Width(rcFrame), cy = Height(rcFrame);
    if (Width(rcPart) == cx && Height(rcPart) == cy)
        return ::BitBlt(hDest, 0, 0, cx, cy, hSource, rcPart.left, rcPart.top, SRCCOPY);
    const int nOldMode = ::SetStretchBltMode(hDest, HALFTONE);
    POINT ptOldOrigin = {};
    ::SetBrushOrgEx(hDest, 0, 0, &ptOldOrigin); // as HALFTONE asks
    const BOOL bOk = ::StretchBlt(hDest, 0, 0, cx, cy, hSource, rcPart.left, rcPart.top,
                                  Width(rcPart), Height(rcPart), SRCCOPY);
    ::SetBrushOrgEx(hDest, ptOldOrigin.x, ptOldOrigin.y, nullptr);
    ::SetStretchBltMode(hDest, nOldMode);
    return bOk;
}

BOOL CopyScreen(const RECT& rcFrame, HDC hDest) {
    HDC hScreen = ::GetDC(nullptr);
    if (!hScreen)
        return FALSE;
    const BOOL bOk = CopyPart(hDest, rcFrame, hScreen, rcFrame);
    ::ReleaseDC(nullptr, hScreen);
    return bOk;
}

// The window rendered whole into a bitmap of its own size, the frame's part
// drawn out.
BOOL RenderFullContent(HWND hTarget, const RECT& rcFrame, const OwnPicture& own, HDC hDest) {
    const DesktopCalls& calls = Calls();
    if (!calls.pfnPrintWindow)
        return FALSE;
    HDC hMemDC = ::CreateCompatibleDC(hDest);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hDest, own.size.cx, own.size.cy);
    BOOL bOk = FALSE;
    if (hMemDC && hBitmap) {
        HGDIOBJ hOld = ::SelectObject(hMemDC, hBitmap);
        bOk = calls.pfnPrintWindow(hTarget, hMemDC, kPrintFullContent) &&
              CopyPart(hDest, rcFrame, hMemDC, own.rcFrame);
        ::SelectObject(hMemDC, hOld);
    }
    if (hBitmap)
        ::DeleteObject(hBitmap);
    if (hMemDC)
        ::DeleteDC(hMemDC);
    return bOk;
}

BOOL CopyWindowDC(HWND hTarget, const RECT& rcFrame, const OwnPicture& own, HDC hDest) {
    HDC hWindowDC = ::GetWindowDC(hTarget);
    if (!hWindowDC)
        return FALSE;
    const BOOL bOk = CopyPart(hDest, rcFrame, hWindowDC, own.rcFrame);
    ::ReleaseDC(hTarget, hWindowDC);
    return bOk;
}

// The integrity level of a process (the last part of its token's label), or
// FALSE where the system has none or does not let it be read.
BOOL ReadIntegrity(HANDLE hProcess, DWORD* pnLevel) {
    const DesktopCalls& calls = Calls();
    if (!calls.pfnOpenProcessToken || !calls.pfnGetTokenInformation)
        return FALSE;
    HANDLE hToken = nullptr;
    if (!calls.pfnOpenProcessToken(hProcess, TOKEN_QUERY, &hToken))
        return FALSE;
    // The label and its SID: S-1-16-level has one sub-authority, and no SID
    // has more than 15.
    union {
        TOKEN_MANDATORY_LABEL label;
        BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + 8 + 15 * sizeof(DWORD)];
    } info = {};
    DWORD cbNeeded = 0;
    BOOL bOk =
        calls.pfnGetTokenInformation(hToken, TokenIntegrityLevel, &info, sizeof info, &cbNeeded) &&
        info.label.Label.Sid;
    if (bOk) {
        const SID* pSid = static_cast<const SID*>(info.label.Label.Sid);
        bOk = pSid->SubAuthorityCount > 0;
        if (bOk)
            *pnLevel = pSid->SubAuthority[pSid->SubAuthorityCount - 1];
    }
    ::CloseHandle(hToken);
    return bOk;
}

// Vista and later let any program read this much of any other; earlier
// systems refuse the right, and have no levels either.
const DWORD kQueryLimited = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION

BOOL RunsAboveThisProgram(HWND hTarget) {
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hTarget, &dwProcessId);
    if (!dwProcessId)
        return FALSE;
    DWORD nOurs = 0;
    if (!ReadIntegrity(::GetCurrentProcess(), &nOurs))
        return FALSE;
    HANDLE hProcess = ::OpenProcess(kQueryLimited, FALSE, dwProcessId);
    if (!hProcess)
        return FALSE;
    DWORD nTheirs = 0;
    const BOOL bAbove = ReadIntegrity(hProcess, &nTheirs) && nTheirs > nOurs;
    ::CloseHandle(hProcess);
    return bAbove;
}

} // namespace

BOOL SystemRefuses(HWND hTarget, BOOL bRequestFailed) {
    return (bRequestFailed && ::GetLastError() == ERROR_ACCESS_DENIED) ||
           RunsAboveThisProgram(hTarget);
}

TargetReply AskTarget(HWND hTarget, UINT nTimeoutMs) {
    if (SystemRefuses(hTarget, FALSE))
        return kTargetRefuses;
    DWORD_PTR dwResult = 0;
    ::SetLastError(0);
    if (::SendMessageTimeoutA(hTarget, WM_NULL, 0, 0, SMTO_NORMAL, nTimeoutMs, &dwResult))
        return kTargetAnswers;
    return SystemRefuses(hTarget, TRUE) ? kTargetRefuses : kTargetBusy;
}

const DesktopCalls& SystemDesktopCalls() {
    return g_system;
}

void SetDesktopCalls(const DesktopCalls* pCalls) {
    g_pCalls = pCalls;
}

BOOL IsDesktopComposed() {
    const DesktopCalls& calls = Calls();
    BOOL bEnabled = FALSE;
    return calls.pfnDwmIsCompositionEnabled &&
           SUCCEEDED(calls.pfnDwmIsCompositionEnabled(&bEnabled)) && bEnabled;
}

BOOL IsWindowCloaked(HWND hWnd) {
    DWORD dwCloaked = 0;
    return ReadAttribute(hWnd, kDwmCloaked, &dwCloaked, sizeof dwCloaked) && dwCloaked != 0;
}

BOOL IsShellDesktopWindow(HWND hWnd) {
    const DesktopCalls& calls = Calls();
    return hWnd && calls.pfnGetShellWindow && calls.pfnGetShellWindow() == hWnd;
}

BOOL GetVisibleFrame(HWND hWnd, RECT* pFrame) {
    RECT rcWindow;
    if (!::GetWindowRect(hWnd, &rcWindow))
        return FALSE;
    RECT rcFrame = {};
    const bool bFrame =
        ReadAttribute(hWnd, kDwmExtendedFrameBounds, &rcFrame, sizeof rcFrame) != FALSE;
    const Rect32 rc =
        ScreenRect({rcWindow.left, rcWindow.top, rcWindow.right, rcWindow.bottom}, bFrame,
                   {rcFrame.left, rcFrame.top, rcFrame.right, rcFrame.bottom});
    *pFrame = RECT{rc.left, rc.top, rc.right, rc.bottom};
    return TRUE;
}

CPhysicalPixels::CPhysicalPixels()
    : m_pfnSetContext(Calls().pfnSetThreadDpiAwarenessContext), m_hPrevious(nullptr) {
    if (!m_pfnSetContext)
        return;
    m_hPrevious = m_pfnSetContext(TACHY_DPI_CONTEXT_PER_MONITOR_V2);
    if (!m_hPrevious) // before Windows 10 1703
        m_hPrevious = m_pfnSetContext(TACHY_DPI_CONTEXT_PER_MONITOR);
}

CPhysicalPixels::~CPhysicalPixels() {
    if (m_hPrevious)
        m_pfnSetContext(m_hPrevious);
}

BOOL CopyTargetPicture(HWND hTarget, const RECT& rcFrame, HDC hDest) {
    RECT rcWindow;
    if (!::GetWindowRect(hTarget, &rcWindow))
        return FALSE;
    const OwnPicture own = MapOwnPicture(hTarget, rcFrame, rcWindow);
    if (IsDesktopComposed()) {
        // The raise has taken effect once the target has answered, and is on
        // screen once the compositor has presented the next frame.
        DWORD_PTR dwResult = 0;
        ::SendMessageTimeoutA(hTarget, WM_NULL, 0, 0, SMTO_NORMAL, kRaiseAnswerMs, &dwResult);
        if (Calls().pfnDwmFlush)
            Calls().pfnDwmFlush();
        if (NothingAbove(hTarget, rcFrame) && CopyScreen(rcFrame, hDest))
            return TRUE;
        if (RenderFullContent(hTarget, rcFrame, own, hDest))
            return TRUE;
    }
    return CopyWindowDC(hTarget, rcFrame, own, hDest);
}
