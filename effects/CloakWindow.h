// One running cloak: the target's picture in a topmost layered popup exactly
// over it, dissolved through 15 cloud masks while its opacity falls to zero
// in 30 steps of 50 ms. Each step composes its frame as it shows it, from
// the mask scaled when it is first shown, so the cloak holds one frame, not
// 15. Lives on the UI thread; the main dialog creates, starts and deletes it
// and destroys its popup.
#pragma once
#include <windows.h>

#include "effects/CloakFade.h"

class CloakMasks;

// Reports frame preparation: done runs from 0 to total (always 15).
typedef void (*CloakProgressFn)(int nDone, int nTotal, void* pUser);

class CloakWindow {
  public:
    CloakWindow();
    ~CloakWindow();
    CloakWindow(const CloakWindow&) = delete;
    CloakWindow& operator=(const CloakWindow&) = delete;

    // Raises and captures the target, opens the (hidden) popup over its
    // visible frame, in physical pixels where the system has them, and
    // prepares what the steps compose their frames from and into (the masks,
    // the first frame's scaled, and one frame section). FALSE when these
    // would not fit the memory budget of all live cloaks, the target does not
    // answer, cannot be captured, the class or popup cannot be made, a mask
    // is missing or the first cannot be scaled; the target is then neither
    // hidden nor minimised (once it has answered it has been raised to the
    // front, which stays), and no popup remains. A
    // target the system keeps this program from (see SystemRefuses) is
    // minimised through its window menu instead.
    BOOL Create(HINSTANCE hInstance, HWND hOwner, HWND hTarget, CloakProgressFn pfnProgress,
                void* pUser);
    // Shows the popup, asks the target to hide and minimise, starts the
    // timer; the dialog's thread does not wait for the target. The fade
    // begins on the first tick that finds the target off the screen, or its
    // thread busy (it hides once it answers). FALSE when the request fails at
    // once: the popup is hidden again, no timer runs, the owner destroys it.
    // A refusal seen by a later tick (the target answers yet stays on screen,
    // or the system refuses to let it be asked) hides the popup and posts
    // UM_CLOAK_DONE as the end of a fade does. Either way the target is then
    // minimised through its window menu.
    BOOL Start();
    // One fade step; FALSE once the fade has ended (nothing drawn).
    BOOL Tick();
    static double FadeLevel(int nStep) { return ::FadeLevel(nStep); }
    // Composes the frame into the one frame section that every step shows.
    // Cannot fail: everything it writes was made by Create; a mask that
    // cannot be scaled now leaves the step the mask of the step before.
    void ComposeFrame(int nFrame);
    // The memory a cloak of that size holds of its own (capture and frame
    // section) and, alone, with its set of masks (see CloakMasks: shared by
    // cloaks of one size, or the one mask on show); the budget of all live
    // cloaks counts both.
    static unsigned long long OwnBytesFor(SIZE size);
    static unsigned long long BytesFor(SIZE size);

  private:
    BOOL MeasureTarget();
    BOOL ReserveMemory();
    BOOL RaiseAndCapture();
    BOOL OpenPopup();
    BOOL RegisterWindowClass();
    HWND CreateLayeredWindow();
    BOOL PrepareFrames();
    void FreeFrames();
    void ReportProgress(int nDone);
    int WatchHide();
    BOOL AskWhetherTargetAnswers();
    void GiveUpHide();
    friend LRESULT CALLBACK CloakWndProc(HWND, UINT, WPARAM, LPARAM);
    friend void CALLBACK CloakTargetAnswered(HWND, UINT, ULONG_PTR, LRESULT);
    static void MaskMade(int nDone, void* pThis);

  public:
    // Fields, in this order; read by the owner and the tests, written only by
    // the instance itself.
    HWND m_hWnd;
    HWND m_hOwner;
    CloakProgressFn m_pfnProgress;
    void* m_pProgressData;
    HINSTANCE m_hInstance;
    BOOL m_bClassRegistered;
    HBITMAP m_hCaptured;
    CloakMasks* m_pMasks;       // shared with the live cloaks of this size
    const BYTE* m_pMaskBits;    // the mask of the frame last composed
    const BYTE* m_pMaskColours; // and its colour table
    HBITMAP m_hFrame;           // the frame on show, composed anew each step
    BYTE* m_pFrameBits;         // its pixels
    const BYTE* m_pCapturedBits;
    HDC m_hMemDC;
    HGDIOBJ m_hOldBitmap;
    POINT m_ptPosition;
    SIZE m_size;
    char m_szClassName[128];
    HWND m_hTarget;
    UINT_PTR m_nTimerId;
    int m_nStep;
    int m_nFrameIndex;
    LONG m_nReservedKilobytes; // of the memory budget of all cloaks
    // The hide asked of another thread's target, watched by the timer until
    // its verdict; times from GetTickCount.
    struct HideWatch {
        BOOL bActive;
        DWORD dwAsked;
        BOOL bPinged; // asked whether it answers
        DWORD dwPinged;
        BOOL bAnswered;
        DWORD dwAnswered;
    } m_hideWatch;
};

LRESULT CALLBACK CloakWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// The target's answer to the watch's question; dwData is the popup.
void CALLBACK CloakTargetAnswered(HWND hTarget, UINT message, ULONG_PTR dwData, LRESULT lResult);
