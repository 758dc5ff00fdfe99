#pragma once
#include "framework/AfxWin.h"
#include "controls/SkinButton.h"

// The small modal box with the program's name and stage.
class CAboutDlg : public CDialog {
  public:
    CAboutDlg();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    DECLARE_MESSAGE_MAP()

  public:
    CSkinButton m_btnConfirm;
};
