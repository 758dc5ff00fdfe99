// The tests' one way to the dialog's fields; the dialog names this struct its
// friend. Whoever writes a registry through it takes the registry's lock, as
// the dialog does, unless no other thread can be running.
#pragma once
#include "app/MainDlg.h"

struct CMainDlgTestAccess {
    static HICON Icon(CMainDlg& d) { return d.m_hIcon; }
    static CIconListBox& List(CMainDlg& d) { return d.m_lstWindows; }
    static CImageList& ImageList(CMainDlg& d) { return d.m_imageList; }
    static HANDLE& Worker(CMainDlg& d) { return d.m_hWorker; }
    static volatile LONG& StopFlag(CMainDlg& d) { return d.m_nStopWorker; }
    static HANDLE CoilLock(CMainDlg& d) { return d.m_hCoilLock; }
    static int& WindowCount(CMainDlg& d) { return d.m_nWindowCount; }
    static HWND* Windows(CMainDlg& d) { return d.m_hWindows; }
    static volatile LONG& CoilCount(CMainDlg& d) { return d.m_nCoilCount; }
    static CMainDlg::CoilEntry* Coils(CMainDlg& d) { return d.m_coils; }
    static int& CloakCount(CMainDlg& d) { return d.m_nCloakCount; }
    static CMainDlg::CloakEntry* Cloaks(CMainDlg& d) { return d.m_cloaks; }
    static CDialog* AboutBox(CMainDlg& d) { return d.m_pAboutDlg; }
};
