#pragma once
#include "framework/AfxWin.h"

// The application object: refuses unsuitable systems and second copies, then
// runs the main dialog. There is exactly one, constructed statically.
class CMainApp : public CWinApp {
  public:
    CMainApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
