#pragma once
#include "framework/AfxWin.h"

// A push button drawn entirely from bitmaps, shaped by a mask.
class CSkinButton : public CButton {
  public:
    CSkinButton();
    ~CSkinButton() override;

    BOOL SetSkin(UINT idNormal, UINT idPressed, UINT idHover, UINT idDisabled, UINT idFocus,
                 UINT idMask, short nDrawMode, short bBorder, short nFocusInset);

  protected:
    void PreSubclassWindow() override;

    DECLARE_MESSAGE_MAP()
};
