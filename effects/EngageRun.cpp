#include "app/MainDlg.h"
#include "effects/WarpCoil.h"
#include "effects/WarpShip.h"

#include <cstdlib>
#include <new>

namespace {

const int kCoilSpread = 100;
const DWORD kPollMs = 10;

// The worker runs no message loop of its own, but its coil windows come back
// to it (WM_CLOSE) to be destroyed, and other threads' sends to its windows
// must not wait for ever.
void PumpWorkerMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_CLOSE && WarpCoil::DisposeWindow(msg.hwnd))
            continue;
        ::DispatchMessageA(&msg);
    }
}

// Pauses dwMs, then handles what came for the worker's windows meanwhile.
void PollPause(DWORD dwMs) {
    AfxWaitAnsweringSentMessages(nullptr, dwMs);
    PumpWorkerMessages();
}

} // namespace

void CMainDlg::OnEngage() {
    SendMessage(UM_ENABLE_COMMANDS, 0, 0);
    StopEngageWorker();
    CWinThread* pThread =
        AfxBeginThread(EngageThreadProc, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!pThread) {
        SendMessage(UM_ENABLE_COMMANDS, 0, 1); // no run: nothing would enable them again
        return;
    }
    HANDLE hProcess = ::GetCurrentProcess();
    if (!::DuplicateHandle(hProcess, pThread->m_hThread, hProcess, &m_hWorker, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        // A worker nobody can wait for could outlive the dialog. The thread
        // is still suspended, so the dialog takes the object's own handle
        // over; the object then closes nothing when it deletes itself.
        m_hWorker = pThread->m_hThread;
        pThread->m_hThread = nullptr;
    }
    ::ResumeThread(m_hWorker);
}

// Never nested: while it waits, the commands that could call it again wait
// in the queue (WindowProc), so the flag and the handle are this frame's.
void CMainDlg::StopEngageWorker() {
    if (m_hWorker) {
        ::InterlockedExchange(&m_nStopWorker, 1);
        AfxWaitAnsweringSentMessages(m_hWorker);
        ::CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
    ::InterlockedExchange(&m_nStopWorker, 0);
}

UINT __cdecl EngageThreadProc(LPVOID pParam) {
    CMainDlg* pDlg = static_cast<CMainDlg*>(pParam);
    // The windows of the run attempted so far, warped or not: one whose warp
    // fails (it does not answer, or no coil can be made) still counts, so
    // only the run's first attempt leans toward the coil. A window closed
    // since the last refresh is not attempted.
    int nAttempted = 0;
    for (;;) {
        // A worker being stopped is handed nothing, so whatever it is handed
        // it warps, even if the stop comes meanwhile.
        HWND hTarget = pDlg->TakeNextSelectedWindow();
        if (!hTarget)
            break;
        if (::IsWindow(hTarget)) {
            pDlg->WarpWindow(hTarget, nAttempted == 0);
            ++nAttempted;
        }
        PumpWorkerMessages();
    }
    while (pDlg->GetCoilCount() != 0 && !pDlg->IsStopRequested())
        PollPause(kPollMs);
    if (pDlg->IsStopRequested())
        pDlg->StopCoilAnimations();
    // The coil windows the dialog has handed back go before the run is said
    // to be over: whoever sees the commands come back finds none of them.
    PumpWorkerMessages();
    pDlg->EndEngageRun();
    PumpWorkerMessages();
    return 0;
}

// On the UI thread, which is also where the stop flag is set: a worker that
// is being stopped (for a successor, or at the end) posts nothing, and the
// last worker of a chain of restarts posts for the whole chain.
LRESULT CMainDlg::PostRunEndOnUiThread(void* pParam) {
    CMainDlg* pDlg = static_cast<CMainDlg*>(pParam);
    if (pDlg->IsStopRequested())
        return 0;
    ::PostMessageA(pDlg->m_hWnd, UM_ENABLE_COMMANDS, 0, 1);
    ::PostMessageA(pDlg->m_btnRefresh.m_hWnd, BM_CLICK, 0, 0);
    return 1;
}

void CMainDlg::EndEngageRun() {
    // Without a framework window to call through the flag is read from here:
    // at shutdown the dialog's window has gone, and set the flag as it went.
    if (!AfxCallOnOwnerThread(this, PostRunEndOnUiThread, this, nullptr))
        PostRunEndOnUiThread(this);
}

BOOL CMainDlg::WarpWindow(HWND hTarget, BOOL bFirst) {
    // While the UI thread holds the lock it may wait for a coil's thread,
    // which on Windows may wait for this thread, the owner of the coil's
    // window (see WarpCoil.h).
    AfxWaitAnsweringSentMessages(m_hCoilLock);
    if (m_nCoilCount >= MAX_EFFECTS) {
        ::ReleaseMutex(m_hCoilLock);
        return FALSE;
    }
    std::srand(::GetTickCount());
    DestroyWarpShip();
    HINSTANCE hInstance = AfxGetModuleState()->m_hCurrentInstanceHandle;
    WarpCoil* pCoil = new (std::nothrow) WarpCoil;
    // The count is looked at again where the slot is written.
    if (!pCoil || !pCoil->Create(hInstance, m_hWnd, kCoilSpread) || m_nCoilCount >= MAX_EFFECTS) {
        if (pCoil)
            pCoil->Destroy();
        delete pCoil;
        ::ReleaseMutex(m_hCoilLock);
        return FALSE;
    }
    const int nIndex = m_nCoilCount;
    m_coils[nIndex].pCoil = pCoil;
    m_coils[nIndex].hWnd = pCoil->GetWindow();
    ::InterlockedIncrement(&m_nCoilCount);
    const BOOL bResult = StartWarpShip(hInstance, hTarget, pCoil, bFirst) != 0;
    if (!bResult || !pCoil->IsStarted()) {
        // Never started (no transition, or no animation thread), so it would
        // never report: without this phase two would wait for it for ever
        // with the buttons greyed.
        RemoveCoilEntry(nIndex);
    }
    ::ReleaseMutex(m_hCoilLock);
    return bResult;
}

void CMainDlg::RemoveCoilEntry(int nIndex) {
    if (WarpCoil* pCoil = m_coils[nIndex].pCoil) {
        pCoil->Destroy();
        delete pCoil;
    }
    // A report can come before the animation has ended (sent early, or by
    // another program): its thread has ended in Destroy. Then the window, the
    // worker's, is handed back to that thread, which destroys it (or has
    // already gone, taking the window with it), and only then does the count
    // fall: a worker that sees it at 0 says the run is over, and whoever sees
    // that must find no window of the run left.
    WarpCoil::ReleaseWindow(m_coils[nIndex].hWnd);
    for (int i = nIndex; i + 1 < m_nCoilCount; ++i)
        m_coils[i] = m_coils[i + 1];
    m_coils[m_nCoilCount - 1] = CoilEntry{nullptr, nullptr};
    ::InterlockedDecrement(&m_nCoilCount);
}

BOOL CMainDlg::OnCoilDone(HWND hCoilWnd) {
    AfxWaitAnsweringSentMessages(m_hCoilLock);
    int nIndex = 0;
    while (nIndex < m_nCoilCount && m_coils[nIndex].hWnd != hCoilWnd)
        ++nIndex;
    if (nIndex == m_nCoilCount) {
        ::ReleaseMutex(m_hCoilLock);
        return FALSE;
    }
    RemoveCoilEntry(nIndex);
    ::ReleaseMutex(m_hCoilLock);
    return TRUE;
}

// Called by a stopped worker before it ends. Its coils' windows end with it;
// on Windows a late frame for a destroyed window merely fails, but under Wine
// an animation thread moving a window while the window's thread ends can
// corrupt the process (seen as crashes of the whole program). So the
// animations end first; each still reports UM_COIL_DONE as usual.
void CMainDlg::StopCoilAnimations() {
    AfxWaitAnsweringSentMessages(m_hCoilLock);
    HANDLE hThreads[MAX_EFFECTS];
    int nThreads = 0;
    for (int i = 0; i < m_nCoilCount; ++i)
        if (HANDLE hThread = m_coils[i].pCoil ? m_coils[i].pCoil->RequestStop() : nullptr)
            hThreads[nThreads++] = hThread;
    for (int i = 0; i < nThreads; ++i)
        AfxWaitAnsweringSentMessages(hThreads[i]);
    ::ReleaseMutex(m_hCoilLock);
}

void CMainDlg::DestroyAllCoils() {
    DestroyWarpShip();
    AfxWaitAnsweringSentMessages(m_hCoilLock);
    for (int i = 0; i < m_nCoilCount; ++i) {
        if (m_coils[i].pCoil) {
            m_coils[i].pCoil->Destroy();
            delete m_coils[i].pCoil;
        }
        m_coils[i] = CoilEntry{nullptr, nullptr};
    }
    ::InterlockedExchange(&m_nCoilCount, 0);
    ::ReleaseMutex(m_hCoilLock);
}
