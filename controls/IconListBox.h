#pragma once
#include "framework/AfxWin.h"

// What each item of a CIconListBox carries besides its text. The list box
// allocates one per item and keeps it as the item data.
struct IconItemData {
    DWORD dwUser1; // the owner's; the list box never reads it
    DWORD dwUser2; // the owner's; the list box never reads it
    int nImage;    // icon index in the attached image list
    UINT uFormat;  // extra DrawText flags for the item's text
    DWORD dwState; // ITEM_STATE_xxx bits
};

// Which fields SetItemInfo sets.
#define ITEM_MASK_USER1 0x01
#define ITEM_MASK_USER2 0x02
#define ITEM_MASK_IMAGE 0x04
#define ITEM_MASK_STATE 0x08
#define ITEM_MASK_ALL 0xFF

// A disabled item is drawn grey, never highlighted, and its double-click
// does not reach the owner.
#define ITEM_STATE_DISABLED 0x01

// A list box that draws each item as an icon from an attached image list
// followed by its text, with a thin flat scroll bar.
class CIconListBox : public CListBox {
  public:
    CIconListBox();
    ~CIconListBox() override;

    // The image list stays the caller's; only its icon size is read here.
    void SetImageList(CImageList* pImageList);
    void SetSelectionStyle(BYTE nStyle, BOOL bRedraw);
    BOOL InitFlatScrollBar();

    int AddItem(LPCSTR lpszText, int nImage);
    int SetItemInfo(int nIndex, DWORD dwUser1, DWORD dwUser2, int nImage, DWORD dwState,
                    UINT nMask);
    void FreeItemData(int nIndex);
    void FreeAllItemData();
    void ClearItems();
    BOOL IsItemEnabled(int nIndex) const;
    // The item's record, or null when it has none.
    IconItemData* GetItemRecord(int nIndex) const;

    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override;
    void MeasureItem(LPMEASUREITEMSTRUCT lpMIS) override;

    // Drawing steps a derived class may replace to change the look.
    virtual int DrawItemBackground(int nItem, CDC* pDC, const RECT& rcItem, const RECT& rcArea,
                                   BOOL bDisabled, BOOL bSelected, COLORREF crBack);
    virtual int DrawIconBackground(int nItem, CDC* pDC, const RECT& rcItem, const RECT& rcIcon,
                                   BOOL bDisabled, BOOL bSelected, COLORREF crBack);
    virtual int DrawItemIcon(int nItem, CDC* pDC, const RECT& rcItem, const RECT& rcIcon,
                             int nImage, BOOL bDisabled, BOOL bSelected);

    // Read at every item drawing; the owner may set its own scheme.
    COLORREF m_crBack;      // unselected items
    COLORREF m_crHighlight; // selected items
    COLORREF m_crText;      // text of unselected items

  protected:
    BOOL m_bFlatSB;
    BYTE m_nSelStyle;
    CImageList* m_pImageList;
    int m_cxIcon;
    int m_cyIcon;

    void OnVScroll(UINT nSBCode, UINT nPos, CWnd* pScrollBar);
    void OnDestroy();
    BOOL OnDblclk();
    void UpdateScrollBar();

    DECLARE_MESSAGE_MAP()
};
