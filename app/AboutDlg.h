#pragma once
#include "framework/AfxWin.h"
#include "controls/SkinButton.h"

// The small modal box with the program's name and stage, skinned like the
// main dialog.
class CAboutDlg : public CDialog {
  public:
    // The owner is disabled while the box runs, which is what makes it modal
    // for the main dialog.
    explicit CAboutDlg(CWnd* pParent = nullptr);
    ~CAboutDlg() override;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnPaint();
    void OnLButtonDown(UINT nFlags, CPoint point);

    DECLARE_MESSAGE_MAP()

  public:
    CSkinButton m_btnConfirm;
    CFont m_font;
    CBrush* m_pBrush;
    CDC m_dcBackground;
    CBitmap m_bmpBackground;
    HGDIOBJ m_hOldBitmap;
};
