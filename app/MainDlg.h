#pragma once
#include "framework/AfxWin.h"
#include "app/Capacities.h"
#include "app/Messages.h"
#include "controls/IconListBox.h"
#include "controls/SkinButton.h"
#include "resource.h"

#include <shellapi.h>

class CloakWindow;
class WarpCoil;

// The program's one window: lists the target windows, routes the five buttons
// and the list's double-click to the effects, keeps the effect registries and
// tears everything down in a fixed order when it ends. Its members are
// implemented, group by group, in the files named at each group.
class CMainDlg : public CDialog {
  public:
    // app/MainDlg.cpp. RunModal: DoModal, then the teardown: tray icon, engage
    // worker, coils, cloaks.
    CMainDlg();
    ~CMainDlg() override;
    INT_PTR RunModal();

    // windowlist/WindowList.cpp: the selection is handed out one window at a
    // time.
    void RefreshWindowList();
    BOOL AddQualifyingWindow(HWND hWnd);
    HWND TakeNextSelectedWindow();

    // effects/CloakRun.cpp (UI thread).
    CloakWindow* RunCloak(HWND hTarget);
    int OnCloakDone(HWND hPopup);
    void DestroyAllCloaks();
    void DrawCloakProgress(int nDone, int nTotal);

    // effects/EngageRun.cpp; the worker calls WarpWindow and GetCoilCount.
    void StopEngageWorker();
    BOOL WarpWindow(HWND hTarget, BOOL bFirst);
    BOOL OnCoilDone(HWND hCoilWnd);
    int GetCoilCount() const { return m_nCoilCount; }
    void DestroyAllCoils();
    void StopCoilAnimations();
    BOOL IsStopRequested() const { return m_nStopWorker != 0; }
    // The worker's last step: ENGAGE and REFRESH LIST back and a refresh,
    // unless the worker is being stopped.
    void EndEngageRun();

  protected:
    // app/MainDlg.cpp
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The gate every command passes (see MainDlg.cpp), then HandleMessage.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnRefresh() { RefreshWindowList(); }
    void OnCloseButton() { OnCommand(ID_TRAY_CLOSE, 0); }
    void OnAboutButton() { OnCommand(ID_TRAY_ABOUT, 0); }

    // effects/CloakRun.cpp and effects/EngageRun.cpp
    void OnCloak();
    void OnEngage();

    // app/MainDlgSkin.cpp: the look
    void PrepareLook();
    void ApplySkins();
    void ShowFarewell();
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT nFlags, CPoint point);
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    // app/MainDlgTray.cpp: tray icon and menus
    void AddTrayIcon();
    void RemoveTrayIcon();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowPopupMenu(int x, int y);
    void OnContextMenu(CWnd* pWnd, CPoint point);

    // app/AboutDlg.cpp: the About box
    void AddAboutMenuEntry();
    void OnSysCommand(UINT nID, LPARAM lParam);

    // windowlist/WindowList.cpp: set-up
    void SetUpWindowList();
    static BOOL CALLBACK EnumWindowsProc(HWND hWnd, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

  private:
    struct CoilEntry {
        WarpCoil* pCoil;
        HWND hWnd; // kept here: the coil forgets its window when its thread ends
    };
    struct CloakEntry {
        CloakWindow* pCloak;
        HWND hWnd; // the popup, which is all UM_CLOAK_DONE carries
    };
    // effects/EngageRun.cpp: tears down and deletes coil nIndex, hands its
    // window back to the worker, then closes the gap; coil lock held.
    void RemoveCoilEntry(int nIndex);
    // The steps that run on the UI thread for the worker.
    static LRESULT TakeOnUiThread(void* pParam);       // windowlist/WindowList.cpp
    static LRESULT PostRunEndOnUiThread(void* pParam); // effects/EngageRun.cpp

    // The tests' one way to the fields below.
    friend struct CMainDlgTestAccess;

  protected:
    // Fields, in this order (construction and destruction follow it). The
    // registries (m_coils, m_cloaks and their counts) are written only under
    // their locks (m_hCoilLock, m_hCloakLock).
    CSkinButton m_btnRefresh;
    CSkinButton m_btnEngage;
    CSkinButton m_btnCloak;
    CSkinButton m_btnClose;
    CSkinButton m_btnAbout;
    CIconListBox m_lstWindows;
    HICON m_hIcon;
    HANDLE m_hWorker;
    volatile LONG m_nStopWorker;
    CFont m_fontLarge;
    CFont m_fontSmall;
    CBrush* m_pCtlBrush;
    CImageList m_imageList;
    int m_nWindowCount;
    HWND m_hWindows[MAX_LISTED_WINDOWS];
    CMenu m_menuPopup;
    CDC m_dcBackground;
    CBitmap m_bmpBackground;
    HGDIOBJ m_hOldBackground;
    NOTIFYICONDATAA m_nid;
    CDialog* m_pAboutDlg; // the About box while it is open
    BOOL m_bInCommand;    // a command is being carried out: the next one waits
    HANDLE m_hCoilLock;
    volatile LONG m_nCoilCount;
    CoilEntry m_coils[MAX_EFFECTS];
    HANDLE m_hCloakLock;
    int m_nCloakCount;
    CloakEntry m_cloaks[MAX_EFFECTS];
};

// The engage worker's start routine; pParam is the dialog.
UINT __cdecl EngageThreadProc(LPVOID pParam);
// Progress of a cloak's preparation, forwarded to the dialog (pUser).
void CloakProgressThunk(int nDone, int nTotal, void* pUser);
