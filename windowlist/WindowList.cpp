#include "app/MainDlg.h"
#include "framework/AfxSystemDll.h"
#include "windowlist/ClassIcon.h"
#include "windowlist/DesktopFacts.h"
#include "windowlist/Qualify.h"

namespace {

const int kIconSize = 32;
const UINT kImageFlags = ILC_COLOR32 | ILC_MASK;
const int kImageGrow = 100;
const size_t kTextBuffer = 1024;
static_assert(MAX_LISTED_WINDOWS == kMaxListedWindows, "one cap for the table and the rule");

// The screen rules compare the window's rectangle and the screen's size in
// one space: physical pixels where the system has them.
void ReadPlacement(HWND hWnd, WindowFacts* pFacts) {
    CPhysicalPixels physical;
    pFacts->screen = {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT rc = {};
    pFacts->rectOk = GetVisibleFrame(hWnd, &rc) != FALSE;
    pFacts->rect = {rc.left, rc.top, rc.right, rc.bottom};
}

} // namespace

void CMainDlg::SetUpWindowList() {
    m_imageList.Create(kIconSize, kIconSize, kImageFlags, 1, kImageGrow);
    m_lstWindows.SetImageList(&m_imageList);
    m_lstWindows.SetSelectionStyle(0, TRUE);
    m_lstWindows.InitFlatScrollBar();
}

void CMainDlg::RefreshWindowList() {
    m_lstWindows.ClearItems();
    // The list keeps a pointer to the object, so only its handle changes.
    m_imageList.DeleteImageList();
    m_imageList.Create(kIconSize, kIconSize, kImageFlags, 1, kImageGrow);
    m_nWindowCount = 0;
    ::EnumWindows(EnumWindowsProc, (LPARAM)this);
}

BOOL CALLBACK CMainDlg::EnumWindowsProc(HWND hWnd, LPARAM lParam) {
    return reinterpret_cast<CMainDlg*>(lParam)->AddQualifyingWindow(hWnd);
}

BOOL CMainDlg::AddQualifyingWindow(HWND hWnd) {
    if (WindowListFull(m_nWindowCount))
        return FALSE;
    WindowFacts facts;
    char szTitle[kTextBuffer] = "";
    char szClass[kTextBuffer] = "";
    ::GetWindowTextA(hWnd, szTitle, (int)kTextBuffer);
    ::GetClassNameA(hWnd, szClass, (int)kTextBuffer);
    facts.title = szTitle;
    facts.isDialog = hWnd == m_hWnd;
    facts.isShellDesktop = IsShellDesktopWindow(hWnd) != FALSE;
    facts.className = szClass;
    facts.visible = ::IsWindowVisible(hWnd) != FALSE;
    facts.cloaked = IsWindowCloaked(hWnd) != FALSE;
    ReadPlacement(hWnd, &facts);
    // The icon rule comes last, so the icon is only looked up for a window
    // that passes all the others.
    facts.hasClassIcon = true;
    if (QualifyWindow(facts) != Qualify::Qualifies)
        return TRUE;
    ListIcon icon;
    if (!GetListIcon(hWnd, &icon))
        return TRUE;
    int nImage = ::AfxImageList_ReplaceIcon(m_imageList, -1, icon.hIcon);
    ReleaseListIcon(&icon);
    // List position, image index and table index must stay the same number.
    if (nImage != m_nWindowCount) {
        if (nImage >= 0)
            ::AfxImageList_Remove(m_imageList, nImage);
        return TRUE;
    }
    CString strText;
    strText.Format("%s", szTitle);
    int nItem = m_lstWindows.AddItem(strText, m_nWindowCount);
    if (nItem != m_nWindowCount) {
        ::AfxImageList_Remove(m_imageList, nImage);
        return TRUE;
    }
    m_hWindows[m_nWindowCount] = hWnd;
    m_nWindowCount += 1;
    return TRUE;
}

// Reads the selection and the window table in one step on the dialog's own
// thread. The step can still run in the middle of a refresh, whose reading of
// other programs' titles answers sends meanwhile; but a refresh clears the
// list first and adds each item together with its table entry, so the step
// then finds nothing selected, or an item and entry that agree. The stop flag is read
// in the same step: the flag is set on this thread, so a worker that is being
// stopped takes nothing, and a window taken is one its worker will warp.
LRESULT CMainDlg::TakeOnUiThread(void* pParam) {
    CMainDlg* pDlg = static_cast<CMainDlg*>(pParam);
    if (pDlg->IsStopRequested())
        return 0;
    CIconListBox& list = pDlg->m_lstWindows;
    int nIndex = -1;
    if (list.SendMessage(LB_GETSELITEMS, 1, (LPARAM)&nIndex) != 1)
        return 0;
    list.SendMessage(LB_SETSEL, FALSE, (LPARAM)nIndex);
    if (nIndex < 0 || nIndex >= pDlg->m_nWindowCount)
        return 0;
    return (LRESULT)pDlg->m_hWindows[nIndex];
}

HWND CMainDlg::TakeNextSelectedWindow() {
    if (!m_lstWindows.GetSafeHwnd())
        return nullptr;
    LRESULT lResult = 0;
    if (!AfxCallOnOwnerThread(&m_lstWindows, TakeOnUiThread, this, &lResult))
        return nullptr;
    return (HWND)lResult;
}
