#include "controls/IconListBox.h"

BEGIN_MESSAGE_MAP(CIconListBox, CListBox)
END_MESSAGE_MAP()

CIconListBox::CIconListBox()
    : m_crBack(::GetSysColor(COLOR_WINDOW)), m_crHighlight(::GetSysColor(COLOR_HIGHLIGHT)),
      m_crText(::GetSysColor(COLOR_WINDOWTEXT)) {}

CIconListBox::~CIconListBox() {}

void CIconListBox::SetImageList(CImageList*) {}

void CIconListBox::SetSelectionStyle(BYTE, BOOL) {}

BOOL CIconListBox::InitFlatScrollBar() {
    return TRUE;
}

int CIconListBox::AddItem(LPCSTR lpszText, int) {
    return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)lpszText);
}

void CIconListBox::ClearItems() {
    SendMessage(LB_RESETCONTENT);
}

void CIconListBox::MeasureItem(LPMEASUREITEMSTRUCT lpMIS) {
    lpMIS->itemHeight = 40;
}

void CIconListBox::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    CString strText;
    GetText((int)lpDIS->itemID, strText);
    ::DrawTextA(lpDIS->hDC, strText, -1, &lpDIS->rcItem, DT_SINGLELINE | DT_VCENTER);
}
