// What the desktop says about a window: whether it is on screen at all, the
// rectangle it covers there, and how its picture is read. The one place that
// asks the compositor (dwmapi.dll), the full-content rendering (PrintWindow)
// and the per-thread DPI context; all of them are newer than Windows 2000,
// so they are found at run time, and every missing function or failing call
// answers as Windows 2000 does (no compositor, nothing cloaked, the window
// rectangle, the window-DC copy).
#pragma once
#include <windows.h>

// The calls behind the facts. A null entry is a system without that call.
struct DesktopCalls {
    HRESULT(WINAPI* pfnDwmIsCompositionEnabled)(BOOL* pbEnabled);
    HRESULT(WINAPI* pfnDwmGetWindowAttribute)
    (HWND hWnd, DWORD dwAttribute, PVOID pValue, DWORD cbValue);
    HRESULT(WINAPI* pfnDwmFlush)();
    BOOL(WINAPI* pfnPrintWindow)(HWND hWnd, HDC hdc, UINT nFlags);
    HANDLE(WINAPI* pfnSetThreadDpiAwarenessContext)(HANDLE hContext);
    HWND(WINAPI* pfnGetShellWindow)();
    BOOL(WINAPI* pfnOpenProcessToken)(HANDLE hProcess, DWORD dwAccess, PHANDLE phToken);
    BOOL(WINAPI* pfnGetTokenInformation)
    (HANDLE hToken, TOKEN_INFORMATION_CLASS nClass, LPVOID pInfo, DWORD cbInfo, PDWORD pcbNeeded);
    HANDLE(WINAPI* pfnGetWindowDpiAwarenessContext)(HWND hWnd);
};

// The system's own calls, looked up once as the program starts (dwmapi.dll
// stays loaded, as an import would).
const DesktopCalls& SystemDesktopCalls();
// Test seam: the facts are asked through these calls from now on; null
// returns to the system's.
void SetDesktopCalls(const DesktopCalls* pCalls);

// Attribute numbers and flags of the calls above.
const DWORD kDwmExtendedFrameBounds = 9;
const DWORD kDwmCloaked = 14;
const UINT kPrintFullContent = 2;
#define TACHY_DPI_CONTEXT_PER_MONITOR_V2 ((HANDLE)(LONG_PTR)-4)
#define TACHY_DPI_CONTEXT_PER_MONITOR ((HANDLE)(LONG_PTR)-3)

// How many windows above a target are looked at, at most, before the screen
// is no longer trusted to show it: a z-order that keeps changing while it is
// walked need never end.
const int kMaxWindowsAbove = 2048;

// TRUE when the compositor draws the desktop.
BOOL IsDesktopComposed();
// TRUE when the compositor keeps the window off screen (another virtual
// desktop, a suspended app frame); a failing call means it does not.
BOOL IsWindowCloaked(HWND hWnd);
// TRUE for the shell's desktop window, which is never a target.
BOOL IsShellDesktopWindow(HWND hWnd);
// The rectangle the window covers on screen, in the calling thread's
// coordinates: its visible frame where the compositor reports one that lies
// within the window rectangle (a frame in another coordinate space would
// not), otherwise the window rectangle. FALSE when the window has none.
BOOL GetVisibleFrame(HWND hWnd, RECT* pFrame);

// How a target's thread meets a request of this program.
enum TargetReply {
    kTargetAnswers, // it answered within the time
    kTargetBusy,    // no answer within the time: it will act once it answers
    kTargetRefuses, // the system does not let this program's requests reach it
};
// The one test of the system's refusal (an elevated program's window, which
// a program without elevation may neither send to nor hide): the target's
// process runs at a higher integrity level than this one, where the system
// has levels and lets them be read, or a request just made to it failed with
// ERROR_ACCESS_DENIED. bRequestFailed: that request failed, its caller having
// cleared the last error before making it (not every call that fails sets
// it, so an older error must not be taken for this one).
BOOL SystemRefuses(HWND hTarget, BOOL bRequestFailed);
// Sends the target WM_NULL and waits up to nTimeoutMs for the answer; sent
// messages are answered meanwhile. A refused target is not sent to.
TargetReply AskTarget(HWND hTarget, UINT nTimeoutMs);

// While it lives, the calling thread reads and makes window geometry in
// physical pixels (per-monitor aware), where the system has a per-thread DPI
// context; otherwise nothing changes. Windows made meanwhile keep that
// context for good, their window procedures included.
class CPhysicalPixels {
  public:
    CPhysicalPixels();
    ~CPhysicalPixels();
    CPhysicalPixels(const CPhysicalPixels&) = delete;
    CPhysicalPixels& operator=(const CPhysicalPixels&) = delete;

  private:
    HANDLE(WINAPI* m_pfnSetContext)(HANDLE hContext); // the call that set it restores it
    HANDLE m_hPrevious;
};

// Draws the target's picture over rcFrame (its visible frame) into hDest at
// (0, 0), as the user sees it. Without a compositor, the copy from its
// window DC. With one, the composed screen once the raise has been presented
// where no other window lies over the frame (click-through overlays do not
// count); else its full-content rendering; else the window-DC copy. Those
// two hold the picture at the target's own size, which for a DPI-unaware
// target on a scaled monitor is smaller than the frame: it is stretched onto
// the frame as the system stretches it on screen. FALSE when nothing could
// be read.
BOOL CopyTargetPicture(HWND hTarget, const RECT& rcFrame, HDC hDest);
