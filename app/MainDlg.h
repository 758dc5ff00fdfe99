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
// tears everything down in a fixed order when it ends.
class CMainDlg : public CDialog {
  public:
    CMainDlg();
    ~CMainDlg() override;

    // DoModal, then the teardown: tray icon, engage worker, coils, cloaks.
    INT_PTR RunModal();

    // Window list: the selection is handed out one window at a time.
    void RefreshWindowList();
    BOOL AddQualifyingWindow(HWND hWnd);
    HWND TakeNextSelectedWindow();

    // Cloak run (UI thread).
    CloakWindow* RunCloak(HWND hTarget);
    int OnCloakDone(HWND hPopup);
    void DestroyAllCloaks();
    void DrawCloakProgress(int nDone, int nTotal);

    // Engage run; the worker calls WarpWindow and GetCoilCount.
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
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Command handlers
    void OnEngage();
    void OnCloak();
    void OnRefresh() { RefreshWindowList(); }
    void OnCloseButton() { OnCommand(ID_TRAY_CLOSE, 0); }
    void OnAboutButton() { OnCommand(ID_TRAY_ABOUT, 0); }

    // The look
    void PrepareLook();
    void ApplySkins();
    void ShowFarewell();
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT nFlags, CPoint point);
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);

    // Tray icon and menus
    void AddTrayIcon();
    void RemoveTrayIcon();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void ShowPopupMenu(int x, int y);
    void OnContextMenu(CWnd* pWnd, CPoint point);

    // About box
    void AddAboutMenuEntry();
    void OnSysCommand(UINT nID, LPARAM lParam);

    // Window list set-up
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
    // Tears down and deletes coil nIndex and closes the gap; coil lock held.
    void RemoveCoilEntry(int nIndex);

  public:
    // Fields, in this order (construction and destruction follow it).
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
