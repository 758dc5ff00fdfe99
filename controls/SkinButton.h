#pragma once
#include "framework/AfxWin.h"

// Behaviour kinds: the system no longer checks an owner-drawn button, so the
// button emulates the automatic check box and radio button itself.
#define BUTTON_KIND_PUSH 0
#define BUTTON_KIND_CHECKBOX 2
#define BUTTON_KIND_RADIO 4

// How the state bitmaps cover the button.
#define SKIN_MODE_ACTUAL 0  // 1:1 at the top-left corner; the button takes the mask's size
#define SKIN_MODE_STRETCH 1 // stretched over the button
#define SKIN_MODE_TILE 2    // tiled over the button, without the mask

// A button drawn entirely from bitmaps (normal, pressed, hover, focus,
// disabled) and cut to the shape of a mask, whose white parts are holes in
// the window and transparent in the pictures.
class CSkinButton : public CButton {
  public:
    CSkinButton();
    ~CSkinButton() override;

    // Ids are bitmap resources (low 16 bits; 0 = none). Reskinning is allowed.
    // FALSE when a bitmap that was asked for could not be loaded (its slot
    // then stays empty and the painting falls back).
    BOOL SetSkin(UINT idNormal, UINT idPressed, UINT idHover, UINT idDisabled, UINT idFocus,
                 UINT idMask, short nDrawMode, short bBorder, short nFocusInset);

    void DrawItem(LPDRAWITEMSTRUCT lpDIS) override;

    static int GetBitmapWidth(HBITMAP hBitmap);
    static int GetBitmapHeight(HBITMAP hBitmap);
    // Passes a mouse message on to the tooltip, once an owner has given the
    // tooltip a window.
    void RelayToolTipEvent(UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    void PreSubclassWindow() override;

    // How one state picture maps onto the button.
    struct SkinBlit {
        int cx, cy;           // the button's size
        int cxImage, cyImage; // the picture's size
        int nMode;            // SKIN_MODE_ACTUAL or SKIN_MODE_STRETCH
        void Put(HDC hDst, int x, int y, HDC hSrc, DWORD dwRop) const;
    };
    void DrawSkinBitmap(HDC hDC, HBITMAP hBitmap, const RECT& rect, int nMode);
    void DrawMasked(HDC hDC, const RECT& rect, HDC hImageDC, const SkinBlit& blit);
    void TileBitmap(HDC hDC, HBITMAP hBitmap, const RECT& rect);
    void Repaint() { InvalidateRect(nullptr, TRUE); }
    void ToggleByKind();
    void ReleaseRegion();

    BOOL OnEraseBkgnd(CDC* pDC);
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnLButtonUp(UINT nFlags, CPoint point);
    void OnMouseMove(UINT nFlags, CPoint point);
    LRESULT OnLButtonDblClk(WPARAM wParam, LPARAM lParam);
    void OnKillFocus(CWnd* pNewWnd);
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupUncheck(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

    // The tests' one way to the state below.
    friend struct CSkinButtonTestAccess;

    BYTE m_bChecked;
    int m_nKind;
    BYTE m_bHover;
    BYTE m_bPressed;
    CToolTipCtrl m_toolTip;
    CBitmap m_bmpNormal;
    CBitmap m_bmpPressed;
    CBitmap m_bmpDisabled;
    CBitmap m_bmpMask;
    CBitmap m_bmpHover;
    CBitmap m_bmpFocus;
    short m_nFocusInset;
    COLORREF m_crText;
    HRGN m_hRgn;
    int m_bBorder;
    short m_nDrawMode;
    // Whether m_hRgn is still ours: once SetWindowRgn has taken it, the window
    // deletes it and we must not.
    BOOL m_bOwnsRgn;
};
