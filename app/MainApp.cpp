#include "app/MainApp.h"

#include "app/MainDlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CMainApp, CWinApp)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CMainApp theApp;

// Always FALSE: the program ends when the dialog has been run.
BOOL CMainApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    OSVERSIONINFOA osvi;
    ZeroMemory(&osvi, sizeof osvi);
    osvi.dwOSVersionInfoSize = sizeof osvi;
    ::GetVersionExA(&osvi);
    if (osvi.dwPlatformId != VER_PLATFORM_WIN32_NT || osvi.dwMajorVersion < 5) {
        ::MessageBoxA(nullptr, "This program needs a platform of Windows 2000 or later.",
                      "version error", MB_ICONERROR);
        return FALSE;
    }

    // Held until the process ends: it marks the running copy.
    ::SetLastError(0);
    HANDLE hMutex = ::CreateMutexA(nullptr, FALSE, "Tachyrama");
    if (!hMutex || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (hMutex)
            ::CloseHandle(hMutex);
        return FALSE;
    }

    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.RunModal();
    return FALSE;
}
