// The warp coil: the glowing target of one warp. A small layered, topmost
// popup near the upper right of the screen that, once started, flares up in
// 10 frames and shrinks and fades about its centre over 90 more on a thread
// of its own, then posts UM_COIL_DONE to its owner.
//
// The animation thread moves a window that another thread (the engage
// worker) owns. Under Wine that needs nothing from the owning thread, which
// may sleep meanwhile (test_warp_coil shows it); on Windows moving a window
// of another thread may send that thread the move's notifications and wait
// for them. So the owning thread answers sent messages wherever it waits,
// and so does every thread that waits for an animation thread to end.
#pragma once
#include <windows.h>

class WarpCoil {
  public:
    WarpCoil();
    WarpCoil(const WarpCoil&) = delete;
    WarpCoil& operator=(const WarpCoil&) = delete;

    // Registers the coil's own class, composes its image, places it at a
    // random point within `nSpread` pixels and creates its hidden window
    // showing a transparent first frame. TRUE if the window exists.
    BOOL Create(HINSTANCE hInstance, HWND hOwner, int nSpread);
    // Shows the window and starts the animation thread. FALSE when the
    // thread cannot be created: the coil then never reports UM_COIL_DONE.
    BOOL Start();
    BOOL IsStarted() const { return m_hThread != nullptr; }
    // Asks the animation to stop (within one frame); returns the thread to
    // wait for, or null when it was never started. The caller waits in the
    // way its thread must (the owner of the window answers sent messages).
    HANDLE RequestStop();
    // Stops the animation (within one frame), then releases the window, the
    // GDI objects and the class. Valid in every state; called once.
    void Destroy();

    POINT GetCentre() const { return m_ptCentre; }
    SIZE GetSize() const { return m_size; }
    HDC GetImageDC() const { return m_hImageDC; }
    HDC GetFrameDC() const { return m_hFrameDC; }
    HWND GetWindow() const { return m_hWnd; }
    LPCSTR GetClassName() const { return m_szClassName; }
    // For tests and the benchmark: aims the warp at a chosen point.
    void SetCentre(POINT ptCentre) { m_ptCentre = ptCentre; }

    // Size factor of frame n (1.0 at frame 10, 0 at frame 100).
    static float FlareCurve(int n);
    static void ScaleAboutCentre(float fFactor, POINT& ptTopLeft, SIZE& size, POINT ptCentre);

    // Who destroys a coil window: it belongs to the thread that created it
    // (the engage worker), and Win32 destroys a window only on its own thread.
    // Destroy and the dialog's removal of a finished coil call ReleaseWindow,
    // which destroys the window at once on that thread and otherwise hands it
    // back with WM_CLOSE; the worker, meeting that message in its pauses and
    // before it ends, calls DisposeWindow, which destroys the window and then
    // drops its class (Destroy's own unregistering fails while the window is
    // there). A window still left when the worker ends goes with the thread.
    // DisposeWindow returns TRUE if hWnd was a coil window of the calling
    // thread.
    static BOOL DisposeWindow(HWND hWnd);
    // Destroys hWnd at once if it is the calling thread's, else posts it the
    // WM_CLOSE that DisposeWindow answers on its own thread.
    static void ReleaseWindow(HWND hWnd);

    // Test seam: called by the animation thread after each frame is shown.
    typedef void (*FrameObserver)(HWND hWnd, int nFrame, BYTE bAlpha, POINT ptTopLeft, SIZE size);
    static void SetFrameObserver(FrameObserver pfn);

  private:
    BOOL RegisterCoilClass();
    void LoadAndPlace(int nSpread);
    BOOL CreateCoilWindow();
    void ReleaseGdi();
    // Claims the next frame number; the stop request (-1) turns it into 0.
    int NextFrame();
    friend DWORD WINAPI CoilThreadProc(LPVOID pParam);

    HWND m_hWnd;
    HWND m_hOwner;
    volatile LONG m_nFrame; // last frame drawn; -1 asks the thread to stop
    HANDLE m_hThread;
    HINSTANCE m_hInstance;
    BOOL m_bClassRegistered;
    HBITMAP m_hImage;
    HDC m_hImageDC;
    HGDIOBJ m_hOldImage;
    HBITMAP m_hFrameBitmap;
    HDC m_hFrameDC;
    HGDIOBJ m_hOldFrame;
    POINT m_ptPlacement;
    SIZE m_size;
    POINT m_ptCentre;
    char m_szClassName[40];
};

// The animation thread: frames 1 to 100, 20 ms apart, then UM_COIL_DONE.
DWORD WINAPI CoilThreadProc(LPVOID pParam);
