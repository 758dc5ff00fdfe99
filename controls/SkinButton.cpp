#include "controls/SkinButton.h"

BEGIN_MESSAGE_MAP(CSkinButton, CButton)
END_MESSAGE_MAP()

CSkinButton::CSkinButton() {}

CSkinButton::~CSkinButton() {}

void CSkinButton::PreSubclassWindow() {
    CButton::PreSubclassWindow();
}

BOOL CSkinButton::SetSkin(UINT, UINT, UINT, UINT, UINT, UINT, short, short, short) {
    return TRUE;
}
