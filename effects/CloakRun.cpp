#include "app/MainDlg.h"
#include "effects/CloakWindow.h"

#include <new>

namespace {

const COLORREF kStripDone = RGB(160, 160, 0);
const COLORREF kStripRest = RGB(0, 0, 0);

} // namespace

void CMainDlg::OnCloak() {
    SendMessage(UM_ENABLE_COMMANDS, 0, 0);
    for (;;) {
        HWND hTarget = TakeNextSelectedWindow();
        if (!hTarget)
            break;
        // The window just taken is dropped (and stays deselected).
        if (m_nCloakCount >= MAX_EFFECTS)
            break;
        // A window closed since the last refresh uses no slot.
        if (::IsWindow(hTarget))
            RunCloak(hTarget);
    }
    RefreshWindowList();
    SendMessage(UM_ENABLE_COMMANDS, 0, 1);
}

CloakWindow* CMainDlg::RunCloak(HWND hTarget) {
    ::WaitForSingleObject(m_hCloakLock, INFINITE);
    if (m_nCloakCount >= MAX_EFFECTS) {
        ::ReleaseMutex(m_hCloakLock);
        return nullptr;
    }
    CWnd* pStrip = GetDlgItem(IDC_PROGRESS_STRIP);
    if (pStrip)
        pStrip->ShowWindow(SW_SHOW);
    // A cloak whose memory cannot be had is skipped like one that cannot be
    // prepared.
    CloakWindow* pCloak = new (std::nothrow) CloakWindow;
    // The count is looked at again where the slot is written: Create waits
    // for the target, answering whatever is sent meanwhile.
    if (pCloak &&
        pCloak->Create(AfxGetModuleState()->m_hCurrentInstanceHandle, m_hWnd, hTarget,
                       CloakProgressThunk, this) &&
        m_nCloakCount < MAX_EFFECTS && pCloak->Start()) {
        m_cloaks[m_nCloakCount].pCloak = pCloak;
        m_cloaks[m_nCloakCount].hWnd = pCloak->m_hWnd;
        ++m_nCloakCount;
    } else {
        // A popup remains when the cloak was made but not started (the
        // table filled meanwhile, or the hide could not be asked).
        if (pCloak && pCloak->m_hWnd)
            ::DestroyWindow(pCloak->m_hWnd);
        delete pCloak;
        pCloak = nullptr;
    }
    DrawCloakProgress(0, 1);
    if (pStrip)
        pStrip->ShowWindow(SW_HIDE);
    ::ReleaseMutex(m_hCloakLock);
    return pCloak;
}

int CMainDlg::OnCloakDone(HWND hPopup) {
    ::WaitForSingleObject(m_hCloakLock, INFINITE);
    int nFound = -1;
    for (int i = 0; i < m_nCloakCount; ++i) {
        if (m_cloaks[i].hWnd == hPopup) {
            nFound = i;
            break;
        }
    }
    if (nFound >= 0) {
        ::DestroyWindow(hPopup);
        delete m_cloaks[nFound].pCloak;
        for (int i = nFound; i + 1 < m_nCloakCount; ++i)
            m_cloaks[i] = m_cloaks[i + 1];
        --m_nCloakCount;
        m_cloaks[m_nCloakCount] = CloakEntry{nullptr, nullptr};
    }
    ::ReleaseMutex(m_hCloakLock);
    return 1;
}

void CMainDlg::DestroyAllCloaks() {
    ::WaitForSingleObject(m_hCloakLock, INFINITE);
    // Each popup goes before its instance: a class cannot be unregistered
    // while a window of it exists, and the instance unregisters its class.
    // Deleting the instance kills its timer, so no popup changes again.
    for (int i = 0; i < m_nCloakCount; ++i) {
        if (m_cloaks[i].hWnd && ::IsWindow(m_cloaks[i].hWnd))
            ::DestroyWindow(m_cloaks[i].hWnd);
        delete m_cloaks[i].pCloak;
        m_cloaks[i] = CloakEntry{nullptr, nullptr};
    }
    m_nCloakCount = 0;
    ::ReleaseMutex(m_hCloakLock);
}

void CMainDlg::DrawCloakProgress(int nDone, int nTotal) {
    HWND hStrip = ::GetDlgItem(m_hWnd, IDC_PROGRESS_STRIP);
    if (!hStrip)
        return;
    RECT rc;
    ::GetClientRect(hStrip, &rc);
    HDC hdc = ::GetDC(hStrip);
    CDC* pDC = CDC::FromHandle(hdc);
    const int nSplit = nTotal > 0 ? rc.right * nDone / nTotal : 0;
    pDC->FillSolidRect(0, 0, nSplit, rc.bottom, kStripDone);
    pDC->FillSolidRect(nSplit, 0, rc.right, rc.bottom, kStripRest);
    ::ReleaseDC(hStrip, hdc);
}

void CloakProgressThunk(int nDone, int nTotal, void* pUser) {
    static_cast<CMainDlg*>(pUser)->DrawCloakProgress(nDone, nTotal);
}
