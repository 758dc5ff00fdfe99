// The two real dialogs as the fonts of this system lay them out: every button
// caption, in the font the button was given, sits inside the painted face of
// its button with a margin, and the main dialog comes out at the size its
// background bitmap covers.
#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The face inside the 128 x 64 button pictures: left, top, right, bottom.
constexpr int kPictureWidth = 128;
constexpr int kPictureHeight = 64;
constexpr int kFace[4] = {1, 1, 121, 60};
constexpr int kMargin = 3;

// Checks one button's caption against its face, as the button draws it:
// centred on the client rectangle less 2 pixels at each side, the picture
// drawn 1:1 or stretched to the client size.
void ExpectCaptionInsideFace(HWND hDlg, int id) {
    HWND hButton = GetDlgItem(hDlg, id);
    ASSERT_NE(nullptr, hButton) << id;
    char text[64] = "";
    GetWindowTextA(hButton, text, sizeof text);
    RECT rc{};
    GetClientRect(hButton, &rc);
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hButton, WM_GETFONT, 0, 0));
    ASSERT_NE(nullptr, hFont) << text;
    HDC hdc = GetDC(hButton);
    HGDIOBJ hOld = SelectObject(hdc, hFont);
    SIZE extent{};
    GetTextExtentPoint32A(hdc, text, lstrlenA(text), &extent);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(hdc, sizeof face, face);
    SelectObject(hdc, hOld);
    ReleaseDC(hButton, hdc);

    const double cx = rc.right, cy = rc.bottom;
    const double faceLeft = kFace[0] * cx / kPictureWidth,
                 faceRight = kFace[2] * cx / kPictureWidth;
    const double faceTop = kFace[1] * cy / kPictureHeight,
                 faceBottom = kFace[3] * cy / kPictureHeight;
    const double textLeft = 2 + (cx - 4 - extent.cx) / 2, textRight = textLeft + extent.cx;
    const double textTop = (cy - extent.cy) / 2, textBottom = textTop + extent.cy;
    const std::string what = std::string(text) + " in " + face + " " + std::to_string(extent.cx) +
                             "x" + std::to_string(extent.cy) + " on " + std::to_string(rc.right) +
                             "x" + std::to_string(rc.bottom);
    EXPECT_GE(textLeft, faceLeft + kMargin) << what;
    EXPECT_LE(textRight, faceRight - kMargin) << what;
    EXPECT_GE(textTop, faceTop + kMargin) << what;
    EXPECT_LE(textBottom, faceBottom - kMargin) << what;
}

class CLookMainDlg : public CMainDlg {
  protected:
    BOOL OnInitDialog() override {
        CMainDlg::OnInitDialog();
        for (int id : {IDC_REFRESH, IDC_ENGAGE, IDC_CLOAK, IDC_CLOSE, IDC_ABOUT})
            ExpectCaptionInsideFace(m_hWnd, id);
        RECT rc{};
        ::GetClientRect(m_hWnd, &rc);
        // 312 x 233 dialog units at base units of 7 x 12: the nearest whole
        // units reach to the 550 x 350 background.
        EXPECT_EQ(546, rc.right);
        EXPECT_EQ(350, rc.bottom);
        EndDialog(IDCANCEL);
        return TRUE;
    }
};

class CLookAboutDlg : public CAboutDlg {
  protected:
    BOOL OnInitDialog() override {
        CAboutDlg::OnInitDialog();
        ExpectCaptionInsideFace(m_hWnd, IDOK);
        RECT rc{};
        ::GetClientRect(m_hWnd, &rc);
        EXPECT_LE(rc.bottom, 100) << "taller than its background";
        EndDialog(IDCANCEL);
        return TRUE;
    }
};

} // namespace

TEST(DialogLook, MainDialogCaptionsFitAndBackgroundFillsIt) {
    CLookMainDlg dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

TEST(DialogLook, AboutBoxCaptionFits) {
    CLookAboutDlg dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
}
