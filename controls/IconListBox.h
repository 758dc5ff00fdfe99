#pragma once
#include "framework/AfxWin.h"

// A list box that draws each item as an icon from an image list followed by
// its text.
class CIconListBox : public CListBox {
  public:
    CIconListBox();
    ~CIconListBox() override;

    void SetImageList(CImageList* pImageList);
    void SetSelectionStyle(BYTE nStyle, BOOL bRedraw);
    BOOL InitFlatScrollBar();
    int AddItem(LPCSTR lpszText, int nImage);
    void ClearItems();

    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override;
    void MeasureItem(LPMEASUREITEMSTRUCT lpMIS) override;

    COLORREF m_crBack;
    COLORREF m_crHighlight;
    COLORREF m_crText;

  protected:
    DECLARE_MESSAGE_MAP()
};
