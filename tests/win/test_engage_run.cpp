// The engage run's registry and worker plumbing, in-process: the dialog
// object runs against a stand-in window, and the tests play the worker's or
// the UI thread's part where needed.
#include <gtest/gtest.h>

#include <process.h>

#include <cstdlib>
#include <cstring>

#include "CloakTestSupport.h"
#include "DesktopStandIn.h"
#include "Emulation.h"
#include "HandleLedger.h"
#include "WarpTestUtil.h"
#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"
#include "effects/WarpCoil.h"
#include "effects/WarpShip.h"

using Dlg = CMainDlgTestAccess;

namespace {

// A hang here would be the deadlock these tests look for: end loudly instead.
DWORD WINAPI Watchdog(LPVOID) {
    ::Sleep(180000);
    std::fprintf(stderr, "watchdog: the test hung\n");
    ::ExitProcess(3);
}

// Thread starts and handle copies that fail on request, through the test
// program's import table as the handle ledger does: the code under test is
// linked in, so its calls go through that table.
struct FailingCalls {
    decltype(&::CreateThread) pfnCreateThread = nullptr;
    decltype(&::DuplicateHandle) pfnDuplicateHandle = nullptr;
    decltype(&::PostMessageA) pfnPostMessageA = nullptr;
    // Set while a test watches the end of a run: the coil window, and whether
    // it still existed when the run said it was over.
    HWND volatile hWatchedCoil = nullptr;
    volatile LONG nCoilAliveAtEnd = -1;
    volatile LONG nHandBackDelayMs = 0; // before the watched coil's window is handed back
    volatile LONG bFailCoilThreads = 0;
    volatile LONG bFailDuplicates = 0;
    volatile LONG nRunEndPosts = 0; // UM_ENABLE_COMMANDS 1, the end of a run
    // Threads begun through the framework (the engage workers), counted while
    // their start routine runs.
    decltype(&::_beginthreadex) pfnBeginThreadEx = nullptr;
    volatile LONG nLiveWorkers = 0;
    volatile LONG nMostWorkers = 0;
    decltype(&::ShowWindowAsync) pfnShowWindowAsync = nullptr;
    HWND volatile hRefusing = nullptr; // asked to show or hide, it does nothing
    decltype(&::BitBlt) pfnBitBlt = nullptr;
    HWND volatile hUnreadable = nullptr; // its window DC cannot be read
    // Set: the coil table is filled while a coil registers its class, as if
    // the last slot had been taken while the coil was being made.
    decltype(&::RegisterClassA) pfnRegisterClassA = nullptr;
    CMainDlg* volatile pFillOnCoilClass = nullptr;
};
FailingCalls g_failing;

struct CountedStart {
    unsigned(__stdcall* pfn)(void*);
    void* pParam;
};

unsigned __stdcall CountedThreadEntry(void* p) {
    const CountedStart start = *static_cast<CountedStart*>(p);
    delete static_cast<CountedStart*>(p);
    const LONG nLive = ::InterlockedIncrement(&g_failing.nLiveWorkers);
    for (LONG nMost = g_failing.nMostWorkers; nLive > nMost; nMost = g_failing.nMostWorkers)
        ::InterlockedCompareExchange(&g_failing.nMostWorkers, nLive, nMost);
    const unsigned nResult = start.pfn(start.pParam);
    ::InterlockedDecrement(&g_failing.nLiveWorkers);
    return nResult;
}

uintptr_t __cdecl CountingBeginThreadEx(void* pSec, unsigned nStack,
                                        unsigned(__stdcall* pfn)(void*), void* pParam,
                                        unsigned nFlags, unsigned* pId) {
    return g_failing.pfnBeginThreadEx(pSec, nStack, CountedThreadEntry,
                                      new CountedStart{pfn, pParam}, nFlags, pId);
}

HANDLE WINAPI FailingCreateThread(LPSECURITY_ATTRIBUTES pSec, SIZE_T nStack,
                                  LPTHREAD_START_ROUTINE pfn, LPVOID pParam, DWORD dwFlags,
                                  LPDWORD pId) {
    if (g_failing.bFailCoilThreads && pfn == CoilThreadProc) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return g_failing.pfnCreateThread(pSec, nStack, pfn, pParam, dwFlags, pId);
}

BOOL WINAPI FailingDuplicateHandle(HANDLE hSrcProcess, HANDLE hSrc, HANDLE hDstProcess,
                                   LPHANDLE phDst, DWORD dwAccess, BOOL bInherit, DWORD dwOptions) {
    if (g_failing.bFailDuplicates) {
        ::SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return FALSE;
    }
    return g_failing.pfnDuplicateHandle(hSrcProcess, hSrc, hDstProcess, phDst, dwAccess, bInherit,
                                        dwOptions);
}

BOOL WINAPI WatchingPostMessageA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE && hWnd == g_failing.hWatchedCoil)
        ::Sleep((DWORD)g_failing.nHandBackDelayMs);
    if (message == UM_ENABLE_COMMANDS && lParam == 1)
        ::InterlockedIncrement(&g_failing.nRunEndPosts);
    if (message == UM_ENABLE_COMMANDS && lParam == 1 && g_failing.hWatchedCoil)
        ::InterlockedExchange(&g_failing.nCoilAliveAtEnd, ::IsWindow(g_failing.hWatchedCoil));
    return g_failing.pfnPostMessageA(hWnd, message, wParam, lParam);
}

BOOL WINAPI RefusingShowWindowAsync(HWND hWnd, int nCmdShow) {
    return hWnd == g_failing.hRefusing || g_failing.pfnShowWindowAsync(hWnd, nCmdShow);
}

BOOL WINAPI UnreadableBitBlt(HDC d, int x, int y, int cx, int cy, HDC src, int xs, int ys,
                             DWORD rop) {
    if (g_failing.hUnreadable && src && ::WindowFromDC(src) == g_failing.hUnreadable)
        return FALSE;
    return g_failing.pfnBitBlt(d, x, y, cx, cy, src, xs, ys, rop);
}

ATOM WINAPI FillingRegisterClassA(const WNDCLASSA* pwc) {
    CMainDlg* pDlg = g_failing.pFillOnCoilClass;
    if (pDlg && std::strncmp(pwc->lpszClassName, "warp coil", 9) == 0) {
        for (int i = 0; i < MAX_EFFECTS; ++i)
            Dlg::Coils(*pDlg)[i] = {nullptr, (HWND)(INT_PTR)(0x1000 + i)};
        Dlg::CoilCount(*pDlg) = MAX_EFFECTS;
    }
    return g_failing.pfnRegisterClassA(pwc);
}

bool InstallFailingCalls() {
    static const bool ok =
        ledger::Patch("gdi32.dll", "BitBlt", (void*)&UnreadableBitBlt,
                      (void**)&g_failing.pfnBitBlt) &&
        ledger::Patch("kernel32.dll", "CreateThread", (void*)&FailingCreateThread,
                      (void**)&g_failing.pfnCreateThread) &&
        ledger::Patch("user32.dll", "ShowWindowAsync", (void*)&RefusingShowWindowAsync,
                      (void**)&g_failing.pfnShowWindowAsync) &&
        ledger::Patch("user32.dll", "RegisterClassA", (void*)&FillingRegisterClassA,
                      (void**)&g_failing.pfnRegisterClassA) &&
        ledger::Patch("kernel32.dll", "DuplicateHandle", (void*)&FailingDuplicateHandle,
                      (void**)&g_failing.pfnDuplicateHandle) &&
        ledger::Patch("user32.dll", "PostMessageA", (void*)&WatchingPostMessageA,
                      (void**)&g_failing.pfnPostMessageA) &&
        ledger::Patch("msvcrt.dll", "_beginthreadex", (void*)&CountingBeginThreadEx,
                      (void**)&g_failing.pfnBeginThreadEx);
    return ok;
}

// What the coils' animation threads drew: the last frame number (0 is the
// empty frame of a stop request, 100 the animation's own end) and how many
// frames found their window gone.
volatile LONG g_nLastFrame = -1;
volatile LONG g_nFramesWithoutWindow = 0;

void LogFrame(HWND hWnd, int nFrame, BYTE, POINT, SIZE) {
    ::InterlockedExchange(&g_nLastFrame, nFrame);
    if (!::IsWindow(hWnd))
        ::InterlockedIncrement(&g_nFramesWithoutWindow);
}

// The ENGAGE command's handler, as the dialog's command routing calls it.
struct EngageAccess : CMainDlg {
    static void Press(CMainDlg* pDlg) { (pDlg->*&EngageAccess::OnEngage)(); }
};

class EngageRunTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ::CloseHandle(::CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    }
    void SetUp() override {
        m_pDlg = new CMainDlg;
        m_pDlg->m_hWnd = CreateOwnerWindow();
        g_nLastFrame = -1;
        g_nFramesWithoutWindow = 0;
        WarpCoil::SetFrameObserver(LogFrame);
    }
    void TearDown() override {
        WarpCoil::SetFrameObserver(nullptr);
        m_pDlg->StopEngageWorker();
        m_pDlg->DestroyAllCoils();
        HWND hOwner = m_pDlg->m_hWnd;
        if (CWnd::FromHandlePermanent(hOwner) == m_pDlg)
            m_pDlg->DestroyWindow(); // the object lets go of it as it goes
        m_pDlg->m_hWnd = nullptr;
        delete m_pDlg;
        ::DestroyWindow(hOwner);
    }
    // Plays the dialog's part for coil reports until the registry is empty.
    void AnswerCoilsUntilEmpty(DWORD dwTimeoutMs) {
        const DWORD dwStart = ::GetTickCount();
        while (m_pDlg->GetCoilCount() > 0 && ::GetTickCount() - dwStart < dwTimeoutMs) {
            if (LPARAM l = PumpUntilCoilDone(m_pDlg->m_hWnd, 100)) {
                EXPECT_TRUE(m_pDlg->OnCoilDone((HWND)l));
            }
        }
    }
    // The dialog object takes its stand-in window over, so that messages to
    // the window reach the dialog's own handlers.
    void AttachDialog() {
        HWND hOwner = m_pDlg->m_hWnd;
        m_pDlg->m_hWnd = nullptr;
        ASSERT_TRUE(m_pDlg->SubclassWindow(hOwner));
    }
    // A coil that never reports keeps a worker in phase two until stopped.
    void KeepWorkersInPhaseTwo() {
        Dlg::Coils(*m_pDlg)[0] = {nullptr, (HWND)0x1000};
        Dlg::CoilCount(*m_pDlg) = 1;
    }
    // A duplicate of the running worker's handle, for the test to wait on.
    HANDLE WatchWorker() {
        HANDLE hProcess = ::GetCurrentProcess();
        HANDLE hWatch = nullptr;
        if (Dlg::Worker(*m_pDlg))
            ::DuplicateHandle(hProcess, Dlg::Worker(*m_pDlg), hProcess, &hWatch, 0, FALSE,
                              DUPLICATE_SAME_ACCESS);
        return hWatch;
    }
    CMainDlg* m_pDlg = nullptr;
};

TEST_F(EngageRunTest, WarpedWindowGetsACoilThatIsRemovedWhenItReports) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    ASSERT_TRUE(m_pDlg->WarpWindow(hTarget, TRUE));
    EXPECT_EQ(m_pDlg->GetCoilCount(), 1);
    HWND hCoil = Dlg::Coils(*m_pDlg)[0].hWnd;
    EXPECT_TRUE(::IsWindow(hCoil));
    EXPECT_TRUE(::IsIconic(hTarget));
    AnswerCoilsUntilEmpty(5000);
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(Dlg::Coils(*m_pDlg)[0].pCoil, nullptr);
    EXPECT_FALSE(::IsWindow(hCoil)); // this thread made it, so it went at once
    // A report for a coil already removed changes nothing.
    EXPECT_FALSE(m_pDlg->OnCoilDone(hCoil));
    ::DestroyWindow(hTarget);
}

TEST_F(EngageRunTest, CoilOfAFailedTransitionIsRemovedAtOnce) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    {
        RefuseShipWindows refuse;
        EXPECT_FALSE(m_pDlg->WarpWindow(hTarget, TRUE));
    }
    // Otherwise phase two would wait for a coil that never reports.
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(::FindWindowA(nullptr, "warp1!"), nullptr);
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    ::DestroyWindow(hTarget);
}

// The system refuses to hide a target of another program: no ship flies
// with its picture and no coil waits, the target is minimised through its
// window-menu command instead, and the next window is warped as usual.
TEST_F(EngageRunTest, ARefusedHideLeavesNoEffectAndTheNextWindowIsWarped) {
    ASSERT_TRUE(InstallFailingCalls());
    cloaktest::ThreadTarget refusing;
    refusing.style = WS_POPUP;
    refusing.Open(100, 300, 400, 300, RGB(0, 0, 255));
    g_failing.hRefusing = refusing.hWnd;
    EXPECT_FALSE(m_pDlg->WarpWindow(refusing.hWnd, TRUE));
    g_failing.hRefusing = nullptr;
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(GetWarpShipState().pRunCoil, nullptr) << "its coil has been deleted";
    EXPECT_EQ(::FindWindowA("warp ship window class", nullptr), nullptr);
    EXPECT_EQ(::FindWindowA(nullptr, "warp1!"), nullptr);
    EXPECT_TRUE(cloaktest::PumpUntil([&] { return ::IsIconic(refusing.hWnd) != FALSE; }, 3000));

    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    EXPECT_TRUE(m_pDlg->WarpWindow(hTarget, FALSE));
    EXPECT_EQ(m_pDlg->GetCoilCount(), 1);
    EXPECT_TRUE(::IsIconic(hTarget));
    AnswerCoilsUntilEmpty(5000);
    ::DestroyWindow(hTarget);
    refusing.Close();
}

// A window of an elevated program: the system keeps this program's messages
// from it and ignores its requests to hide it. No ship is made for it and no
// coil waits; it is minimised through its window-menu command, and the run
// goes on.
TEST_F(EngageRunTest, AnElevatedTargetIsMinimisedThroughItsWindowMenuWithoutAShip) {
    ASSERT_TRUE(InstallFailingCalls());
    ASSERT_TRUE(standin::InstallSendHooks());
    standin::Scope desktop;
    cloaktest::ThreadTarget elevated;
    elevated.style = WS_POPUP;
    elevated.Open(100, 300, 400, 300, RGB(0, 200, 0));
    g_failing.hRefusing = elevated.hWnd;
    standin::D().blocked.insert(elevated.hWnd);
    EXPECT_FALSE(m_pDlg->WarpWindow(elevated.hWnd, TRUE));
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(GetWarpShipState().hShip, nullptr);
    EXPECT_EQ(::FindWindowA("warp ship window class", nullptr), nullptr);
    EXPECT_TRUE(cloaktest::PumpUntil([&] { return ::IsIconic(elevated.hWnd) != FALSE; }, 3000));
    standin::D().blocked.clear();
    g_failing.hRefusing = nullptr;
    elevated.Close();
}

// A target whose picture cannot be read gets no ship, which would fly pixels
// nobody drew; the run goes on with the next window.
TEST_F(EngageRunTest, ATargetWhosePictureCannotBeReadGetsNoShip) {
    ASSERT_TRUE(InstallFailingCalls());
    HWND hUnreadable = CreateTargetWindow(RECT{100, 300, 500, 600});
    HWND hNext = CreateTargetWindow(RECT{120, 320, 420, 520});
    g_failing.hUnreadable = hUnreadable;
    EXPECT_FALSE(m_pDlg->WarpWindow(hUnreadable, TRUE));
    g_failing.hUnreadable = nullptr;
    EXPECT_EQ(GetWarpShipState().hShip, nullptr);
    EXPECT_EQ(GetWarpShipState().hImage, nullptr);
    EXPECT_EQ(::FindWindowA("warp ship window class", nullptr), nullptr);
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_TRUE(::IsWindowVisible(hUnreadable));
    EXPECT_FALSE(::IsIconic(hUnreadable));
    EXPECT_TRUE(m_pDlg->WarpWindow(hNext, FALSE));
    EXPECT_TRUE(::IsIconic(hNext));
    AnswerCoilsUntilEmpty(5000);
    ::DestroyWindow(hUnreadable);
    ::DestroyWindow(hNext);
}

TEST_F(EngageRunTest, CoilWhoseThreadCannotStartIsRemovedAtOnce) {
    ASSERT_TRUE(InstallFailingCalls());
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    ::InterlockedExchange(&g_failing.bFailCoilThreads, 1);
    m_pDlg->WarpWindow(hTarget, TRUE);
    ::InterlockedExchange(&g_failing.bFailCoilThreads, 0);
    // It would never report, and phase two would wait for it for ever.
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(::FindWindowA(nullptr, "warp1!"), nullptr);
    ::DestroyWindow(hTarget);
}

TEST_F(EngageRunTest, WorkerWhoseHandleCannotBeCopiedIsStillWaitedFor) {
    ASSERT_TRUE(InstallFailingCalls());
    KeepWorkersInPhaseTwo();
    ::InterlockedExchange(&g_failing.bFailDuplicates, 1);
    EngageAccess::Press(m_pDlg);
    ::InterlockedExchange(&g_failing.bFailDuplicates, 0);
    if (!Dlg::Worker(*m_pDlg)) {
        Dlg::CoilCount(*m_pDlg) = 0; // lets the unwatched worker end by itself
        ::Sleep(300);
        FAIL() << "the worker runs where StopEngageWorker cannot wait for it";
    }
    HANDLE hWatch = WatchWorker();
    ASSERT_NE(hWatch, nullptr);
    EXPECT_EQ(::WaitForSingleObject(hWatch, 200), (DWORD)WAIT_TIMEOUT);
    m_pDlg->StopEngageWorker();
    EXPECT_EQ(::WaitForSingleObject(hWatch, 0), WAIT_OBJECT_0);
    EXPECT_EQ(Dlg::Worker(*m_pDlg), nullptr);
    ::CloseHandle(hWatch);
    Dlg::CoilCount(*m_pDlg) = 0;
}

TEST_F(EngageRunTest, EleventhWindowIsRefusedWhileTenCoilsLive) {
    for (int i = 0; i < MAX_EFFECTS; ++i)
        Dlg::Coils(*m_pDlg)[i] = {nullptr, (HWND)(INT_PTR)(0x1000 + i)};
    Dlg::CoilCount(*m_pDlg) = MAX_EFFECTS;
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    EXPECT_FALSE(m_pDlg->WarpWindow(hTarget, TRUE));
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    EXPECT_EQ(m_pDlg->GetCoilCount(), MAX_EFFECTS);
    // Removal keeps the order and closes the gap.
    EXPECT_TRUE(m_pDlg->OnCoilDone((HWND)0x1003));
    EXPECT_EQ(m_pDlg->GetCoilCount(), MAX_EFFECTS - 1);
    EXPECT_EQ(Dlg::Coils(*m_pDlg)[3].hWnd, (HWND)0x1004);
    EXPECT_EQ(Dlg::Coils(*m_pDlg)[8].hWnd, (HWND)0x1009);
    EXPECT_EQ(Dlg::Coils(*m_pDlg)[9].hWnd, nullptr);
    Dlg::CoilCount(*m_pDlg) = 0;
    ::DestroyWindow(hTarget);
}

// The limit holds also where the slot is written: a coil made while the last
// slot was taken is given up, and nothing is written past the table.
TEST_F(EngageRunTest, CoilMadeWhileTheLastSlotWasTakenIsGivenUp) {
    ASSERT_TRUE(InstallFailingCalls());
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    g_failing.pFillOnCoilClass = m_pDlg;
    EXPECT_FALSE(m_pDlg->WarpWindow(hTarget, TRUE));
    g_failing.pFillOnCoilClass = nullptr;
    EXPECT_EQ(m_pDlg->GetCoilCount(), MAX_EFFECTS);
    EXPECT_EQ(Dlg::CloakCount(*m_pDlg), 0) << "written past the coil table";
    EXPECT_TRUE(::IsWindowVisible(hTarget));
    EXPECT_EQ(::FindWindowA(nullptr, "warp1!"), nullptr);
    Dlg::CoilCount(*m_pDlg) = 0;
    ::DestroyWindow(hTarget);
}

TEST_F(EngageRunTest, DestroyAllCoilsStopsAnimatingCoilsWithinAFrame) {
    HWND hTarget = CreateTargetWindow(RECT{100, 100, 300, 300});
    HWND hTarget2 = CreateTargetWindow(RECT{300, 300, 500, 500});
    ASSERT_TRUE(m_pDlg->WarpWindow(hTarget, TRUE));
    ASSERT_TRUE(m_pDlg->WarpWindow(hTarget2, FALSE));
    ASSERT_EQ(m_pDlg->GetCoilCount(), 2);
    const DWORD dwStart = ::GetTickCount();
    m_pDlg->DestroyAllCoils();
    // Not the 2-s animations, only the frames being drawn (which an emulated
    // processor draws 25-30 times slower).
    EXPECT_LE(::GetTickCount() - dwStart, RunsEmulated() ? 1800u : 600u);
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    EXPECT_EQ(GetWarpShipState().hShip, nullptr);
    ::DestroyWindow(hTarget);
    ::DestroyWindow(hTarget2);
}

// Stands in for a worker in phase one: it keeps sending to the dialog's
// window, as TakeNextSelectedWindow does with the list, until stopped.
DWORD WINAPI SendingWorker(LPVOID pParam) {
    CMainDlg* pDlg = static_cast<CMainDlg*>(pParam);
    while (!pDlg->IsStopRequested())
        ::SendMessageA(pDlg->m_hWnd, WM_NULL, 0, 0);
    ::SendMessageA(pDlg->m_hWnd, WM_NULL, 0, 0); // one more after the request
    return 0;
}

TEST_F(EngageRunTest, StopEngageWorkerAnswersAWorkerThatWaitsForIt) {
    for (int i = 0; i < 20; ++i) {
        HANDLE hThread = ::CreateThread(nullptr, 0, SendingWorker, m_pDlg, 0, nullptr);
        Dlg::Worker(*m_pDlg) = hThread;
        ::Sleep(i % 5);
        m_pDlg->StopEngageWorker();
        EXPECT_EQ(Dlg::Worker(*m_pDlg), nullptr);
        EXPECT_FALSE(m_pDlg->IsStopRequested());
    }
}

// Plays another program that sends a command while the dialog stops its
// worker. It holds the coil lock, so that the stopped worker cannot end
// before the command has come, and lets go once the command is answered.
struct CommandDuringStop {
    CMainDlg* pDlg;
    WPARAM wCommand;
    HANDLE hHeld;
    BOOL bAnswered;
};

DWORD WINAPI SendCommandDuringStop(LPVOID pParam) {
    CommandDuringStop* p = static_cast<CommandDuringStop*>(pParam);
    HANDLE hLock = Dlg::CoilLock(*p->pDlg);
    ::WaitForSingleObject(hLock, INFINITE);
    ::SetEvent(p->hHeld);
    for (const DWORD dwStart = ::GetTickCount();
         !p->pDlg->IsStopRequested() && ::GetTickCount() - dwStart < 10000;)
        ::Sleep(1);
    DWORD_PTR dwResult = 0;
    p->bAnswered = ::SendMessageTimeoutA(p->pDlg->m_hWnd, WM_COMMAND, p->wCommand, 0, SMTO_NORMAL,
                                         5000, &dwResult) != 0;
    ::ReleaseMutex(hLock);
    if (!p->bAnswered) {
        // A worker started inside the stop now waits for the never-reporting
        // coil: let it end, so that the test can report instead of hanging.
        ::Sleep(1000);
        Dlg::CoilCount(*p->pDlg) = 0;
    }
    return 0;
}

// The dialog answers sent messages while it stops its worker, so another
// program's command can come in the middle of a stop. Run there, ENGAGE would
// stop the same worker again, clear the flag, close the handle the stop waits
// on and start a worker the stop then waits for; CLOAK would take nothing.
// Each must wait until the stop is over and then be carried out.
TEST_F(EngageRunTest, CommandSentDuringAStopIsCarriedOutAfterIt) {
    ASSERT_TRUE(InstallFailingCalls());
    AttachDialog();
    for (WORD wId : {(WORD)IDC_ENGAGE, (WORD)IDC_CLOAK}) {
        SCOPED_TRACE(wId == IDC_ENGAGE ? "ENGAGE" : "CLOAK");
        KeepWorkersInPhaseTwo();
        g_failing.nMostWorkers = 0;
        EngageAccess::Press(m_pDlg);
        CommandDuringStop job = {m_pDlg, MAKEWPARAM(wId, BN_CLICKED),
                                 ::CreateEventA(nullptr, TRUE, FALSE, nullptr), FALSE};
        HANDLE hThread = ::CreateThread(nullptr, 0, SendCommandDuringStop, &job, 0, nullptr);
        ::WaitForSingleObject(job.hHeld, INFINITE);
        // The restart, through the dialog's window as a click comes; the
        // command meets its stop.
        ::SendMessageA(m_pDlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ENGAGE, BN_CLICKED), 0);
        EXPECT_EQ(::WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
        ::CloseHandle(hThread);
        ::CloseHandle(job.hHeld);
        EXPECT_TRUE(job.bAnswered) << "the command ran inside the stop and froze the dialog";
        EXPECT_FALSE(m_pDlg->IsStopRequested());
        HANDLE hRestarted = WatchWorker();
        ASSERT_NE(hRestarted, nullptr);
        EXPECT_EQ(::WaitForSingleObject(hRestarted, 0), (DWORD)WAIT_TIMEOUT)
            << "the restarted worker runs";
        MSG msg;
        ASSERT_TRUE(::PeekMessageA(&msg, m_pDlg->m_hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            << "the command waits for its turn";
        EXPECT_EQ(msg.wParam, job.wCommand);
        ::DispatchMessageA(&msg);
        if (wId == IDC_ENGAGE) {
            EXPECT_EQ(::WaitForSingleObject(hRestarted, 0), WAIT_OBJECT_0) << "stopped by it";
            EXPECT_NE(Dlg::Worker(*m_pDlg), nullptr) << "and followed by its own worker";
        }
        ::CloseHandle(hRestarted);
        m_pDlg->StopEngageWorker();
        EXPECT_EQ(g_failing.nMostWorkers, 1) << "one worker at a time";
    }
    Dlg::CoilCount(*m_pDlg) = 0;
}

// When the dialog's window goes, the worker is being stopped: it ends without
// waiting for the teardown and says nothing of its run to the window that went.
TEST_F(EngageRunTest, WorkerIsStoppedAsTheDialogsWindowGoes) {
    ASSERT_TRUE(InstallFailingCalls());
    AttachDialog();
    KeepWorkersInPhaseTwo();
    EngageAccess::Press(m_pDlg);
    HANDLE hWatch = WatchWorker();
    ASSERT_NE(hWatch, nullptr);
    ::InterlockedExchange(&g_failing.nRunEndPosts, 0);
    m_pDlg->DestroyWindow();
    EXPECT_EQ(::WaitForSingleObject(hWatch, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(g_failing.nRunEndPosts, 0);
    ::CloseHandle(hWatch);
    Dlg::CoilCount(*m_pDlg) = 0;
}

struct TakeJob {
    CMainDlg* pDlg;
    HWND hTaken;
};

DWORD WINAPI TakeOnWorker(LPVOID pParam) {
    TakeJob* pJob = static_cast<TakeJob*>(pParam);
    pJob->hTaken = pJob->pDlg->TakeNextSelectedWindow();
    return 0;
}

// A worker being stopped is handed no window: what it takes it warps, so a
// window handed to it then would be warped by a worker nobody waits for, or
// taken from the run that follows.
TEST_F(EngageRunTest, WorkerBeingStoppedTakesNoWindow) {
    HWND hList = ::CreateWindowExA(0, "LISTBOX", "", WS_POPUP | LBS_MULTIPLESEL, 0, 0, 100, 100,
                                   nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(Dlg::List(*m_pDlg).SubclassWindow(hList));
    ::SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM) "target");
    ::SendMessageA(hList, LB_SETSEL, TRUE, 0);
    Dlg::WindowCount(*m_pDlg) = 1;
    Dlg::Windows(*m_pDlg)[0] = hList; // any window stands for the listed one
    TakeJob take = {m_pDlg, nullptr};
    for (LONG nStop : {1, 0}) {
        Dlg::StopFlag(*m_pDlg) = nStop;
        take.hTaken = (HWND)1;
        HANDLE hThread = ::CreateThread(nullptr, 0, TakeOnWorker, &take, 0, nullptr);
        while (::MsgWaitForMultipleObjects(1, &hThread, FALSE, 10000, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        ::CloseHandle(hThread);
        EXPECT_EQ(take.hTaken, nStop ? nullptr : hList) << "stop flag " << nStop;
        EXPECT_EQ(::SendMessageA(hList, LB_GETSEL, 0, 0) > 0, nStop != 0) << "stop flag " << nStop;
    }
    Dlg::List(*m_pDlg).DestroyWindow();
    Dlg::WindowCount(*m_pDlg) = 0;
}

// A UM_COIL_DONE that comes while the animation still runs (early, or sent by
// another program) ends the animation before the window is handed back, as
// WarpCoil::Destroy does: no frame is drawn on a window that has gone.
TEST_F(EngageRunTest, EarlyCoilReportEndsTheAnimationBeforeTheWindowGoes) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    ASSERT_TRUE(m_pDlg->WarpWindow(hTarget, TRUE));
    HWND hCoil = Dlg::Coils(*m_pDlg)[0].hWnd;
    EXPECT_TRUE(m_pDlg->OnCoilDone(hCoil));
    if (g_nLastFrame == 100)
        GTEST_SKIP() << "the animation ended by itself before the report: nothing was tested";
    EXPECT_EQ(g_nLastFrame, 0) << "the animation was stopped";
    EXPECT_EQ(g_nFramesWithoutWindow, 0);
    EXPECT_FALSE(::IsWindow(hCoil));
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    // The stopped animation's own report finds nothing left to remove.
    EXPECT_EQ(PumpUntilCoilDone(m_pDlg->m_hWnd, 2000), (LPARAM)hCoil);
    EXPECT_FALSE(m_pDlg->OnCoilDone(hCoil));
    ::DestroyWindow(hTarget);
}

struct WorkerJob {
    CMainDlg* pDlg;
    HWND hTarget;
    char szCoilClass[64];
};

// A worker thread: warps one window, then runs the worker's closing part
// (phase two and the closing messages) through EngageThreadProc, which
// finds nothing more to take.
DWORD WINAPI WarpOnWorker(LPVOID pParam) {
    WorkerJob* pJob = static_cast<WorkerJob*>(pParam);
    pJob->pDlg->WarpWindow(pJob->hTarget, TRUE);
    ::GetClassNameA(Dlg::Coils(*pJob->pDlg)[0].hWnd, pJob->szCoilClass, sizeof pJob->szCoilClass);
    return EngageThreadProc(pJob->pDlg);
}

TEST_F(EngageRunTest, WorkerDisposesOfItsFinishedCoilWindowsAndClosesTheRun) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WorkerJob job = {m_pDlg, hTarget, ""};
    HANDLE hThread = ::CreateThread(nullptr, 0, WarpOnWorker, &job, 0, nullptr);
    while (m_pDlg->GetCoilCount() == 0 && ::WaitForSingleObject(hThread, 0) == WAIT_TIMEOUT)
        ::Sleep(5);
    AnswerCoilsUntilEmpty(20000);
    EXPECT_EQ(::WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
    ::CloseHandle(hThread);
    // The worker said the run is over.
    MSG msg;
    ASSERT_TRUE(
        ::PeekMessageA(&msg, m_pDlg->m_hWnd, UM_ENABLE_COMMANDS, UM_ENABLE_COMMANDS, PM_REMOVE));
    EXPECT_EQ(msg.lParam, 1);
    // The coil's window went back to its thread and its class with it.
    EXPECT_NE(job.szCoilClass[0], '\0');
    EXPECT_FALSE(ClassExists(job.szCoilClass));
    ::DestroyWindow(hTarget);
}

struct EndJob {
    CMainDlg* pDlg;
    HWND hTarget;
    HANDLE hGo;
};

// Warps one window, then waits (answering sent messages, leaving posted
// ones queued) until told to run the worker's closing part.
DWORD WINAPI WarpThenCloseOnWorker(LPVOID pParam) {
    EndJob* pJob = static_cast<EndJob*>(pParam);
    pJob->pDlg->WarpWindow(pJob->hTarget, TRUE);
    g_failing.hWatchedCoil = Dlg::Coils(*pJob->pDlg)[0].hWnd;
    while (::MsgWaitForMultipleObjects(1, &pJob->hGo, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return EngageThreadProc(pJob->pDlg);
}

// The last coil has reported and its window has been handed back to the
// worker when the worker finds the registry empty: the run is said to be over
// only once that window is gone, so whoever sees the commands come back finds
// nothing of the run left.
TEST_F(EngageRunTest, RunIsOverOnlyOnceItsCoilWindowsAreGone) {
    ASSERT_TRUE(InstallFailingCalls());
    ::InterlockedExchange(&g_failing.nCoilAliveAtEnd, -1);
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    EndJob job = {m_pDlg, hTarget, ::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE hThread = ::CreateThread(nullptr, 0, WarpThenCloseOnWorker, &job, 0, nullptr);
    while (m_pDlg->GetCoilCount() == 0 && ::WaitForSingleObject(hThread, 0) == WAIT_TIMEOUT)
        ::Sleep(5);
    AnswerCoilsUntilEmpty(20000);
    ::SetEvent(job.hGo);
    EXPECT_EQ(::WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_failing.nCoilAliveAtEnd, 0);
    g_failing.hWatchedCoil = nullptr;
    ::CloseHandle(hThread);
    ::CloseHandle(job.hGo);
    ::DestroyWindow(hTarget);
}

// The same end with a worker that keeps looking at the count meanwhile: the
// dialog hands the finished coil's window back before the count falls, so
// the worker that sees it at 0 finds the window in its queue. A hand-back
// that takes a while (here 300 ms) shows the order.
TEST_F(EngageRunTest, FinishedCoilsWindowIsHandedBackBeforeTheCountFalls) {
    ASSERT_TRUE(InstallFailingCalls());
    ::InterlockedExchange(&g_failing.nCoilAliveAtEnd, -1);
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WorkerJob job = {m_pDlg, hTarget, ""};
    HANDLE hThread = ::CreateThread(nullptr, 0, WarpOnWorker, &job, 0, nullptr);
    while (m_pDlg->GetCoilCount() == 0 && ::WaitForSingleObject(hThread, 0) == WAIT_TIMEOUT)
        ::Sleep(5);
    g_failing.hWatchedCoil = Dlg::Coils(*m_pDlg)[0].hWnd;
    ::InterlockedExchange(&g_failing.nHandBackDelayMs, 300);
    AnswerCoilsUntilEmpty(20000);
    ::InterlockedExchange(&g_failing.nHandBackDelayMs, 0);
    EXPECT_EQ(::WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_failing.nCoilAliveAtEnd, 0) << "the run was over while its coil window was left";
    g_failing.hWatchedCoil = nullptr;
    ::CloseHandle(hThread);
    ::DestroyWindow(hTarget);
}

TEST_F(EngageRunTest, StoppedWorkerEndsItsCoilsAnimationsBeforeItEnds) {
    HWND hTarget = CreateTargetWindow(RECT{100, 300, 500, 600});
    WorkerJob job = {m_pDlg, hTarget, ""};
    Dlg::Worker(*m_pDlg) = ::CreateThread(nullptr, 0, WarpOnWorker, &job, 0, nullptr);
    // Wait for the coil's animation (its window shows when it starts).
    const DWORD dwStart = ::GetTickCount();
    auto animating = [this] {
        WarpCoil* pCoil = m_pDlg->GetCoilCount() ? Dlg::Coils(*m_pDlg)[0].pCoil : nullptr;
        return pCoil && pCoil->GetWindow() && ::IsWindowVisible(pCoil->GetWindow());
    };
    // The worker sends to the target, a window of this thread: answer it.
    auto answerFor = [](DWORD dwMs) {
        MSG msg;
        for (const DWORD dwFrom = ::GetTickCount(); ::GetTickCount() - dwFrom < dwMs;)
            if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE))
                ::Sleep(5);
    };
    while (!animating() && ::GetTickCount() - dwStart < 10000)
        answerFor(5);
    ASSERT_TRUE(animating());
    answerFor(200);
    m_pDlg->StopEngageWorker();
    // A machine that stalls for the animation's 2 s lets it end by itself,
    // which would pass without the stop having done anything.
    if (g_nLastFrame == 100)
        GTEST_SKIP() << "the animation ended by itself before the stop: nothing was tested";
    EXPECT_EQ(g_nLastFrame, 0) << "the last frame drawn is the stop request's";
    // The animation thread is over: it forgot the window and reported.
    ASSERT_EQ(m_pDlg->GetCoilCount(), 1);
    EXPECT_EQ(Dlg::Coils(*m_pDlg)[0].pCoil->GetWindow(), nullptr);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, m_pDlg->m_hWnd, UM_COIL_DONE, UM_COIL_DONE, PM_REMOVE));
    EXPECT_TRUE(m_pDlg->OnCoilDone((HWND)msg.lParam));
    EXPECT_EQ(m_pDlg->GetCoilCount(), 0);
    ::DestroyWindow(hTarget);
}

// The first-window rule through a real ENGAGE press: the selection is a
// window closed since the last refresh, then A, then B. The closed window is
// skipped without taking the first flag, so A opens with the lean toward the
// coil (10 + 1 + 10 regions) and B does not (1 + 10).
volatile LONG g_nRegionsAt[3]; // by the target's left edge, 100 apart
const int kRuleLeft = 40;

void CountRegionByTarget(void*, HWND, const POINT*, int) {
    const LONG nLeft = GetWarpShipState().rcTarget.left;
    for (int k = 0; k < 3; ++k)
        if (nLeft == kRuleLeft + 100 * k)
            ::InterlockedIncrement(&g_nRegionsAt[k]);
}

CMainDlg* g_pRuleDlg = nullptr;
void (*g_pfnRuleScenario)(CMainDlg&) = nullptr;

void CALLBACK RunRuleScenario(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_pfnRuleScenario(*g_pRuleDlg);
    ::EndDialog(g_pRuleDlg->m_hWnd, IDCANCEL);
}

TEST(EngageRunPress, OnlyTheFirstLiveWindowOfARunLeansTowardTheCoil) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = ::LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION); // listed: it has an icon
    wc.hbrBackground = (HBRUSH)::GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = "engage rule target";
    ASSERT_TRUE(::RegisterClassA(&wc));
    static HWND s_hTargets[3];
    for (int k = 0; k < 3; ++k) {
        s_hTargets[k] = ::CreateWindowExA(0, wc.lpszClassName, "engage rule target",
                                          WS_POPUP | WS_VISIBLE, kRuleLeft + 100 * k, 420, 90, 80,
                                          nullptr, nullptr, wc.hInstance, nullptr);
        ::UpdateWindow(s_hTargets[k]);
        g_nRegionsAt[k] = 0;
    }
    WarpShipObserver obs = {CountRegionByTarget, nullptr, nullptr};
    SetWarpShipObserver(&obs);
    static int s_nOrder[3]; // the targets by list position
    g_pfnRuleScenario = [](CMainDlg& dlg) {
        dlg.RefreshWindowList();
        int n = 0;
        for (int i = 0; i < Dlg::WindowCount(dlg); ++i)
            for (int k = 0; k < 3; ++k)
                if (Dlg::Windows(dlg)[i] == s_hTargets[k]) {
                    Dlg::List(dlg).SendMessage(LB_SETSEL, TRUE, i);
                    s_nOrder[n++] = k;
                }
        ASSERT_EQ(n, 3);
        ::DestroyWindow(s_hTargets[s_nOrder[0]]);
        ::SendMessageA(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ENGAGE, BN_CLICKED),
                       (LPARAM)::GetDlgItem(dlg.m_hWnd, IDC_ENGAGE));
        // The run is over when the worker has enabled ENGAGE again.
        HWND hEngage = ::GetDlgItem(dlg.m_hWnd, IDC_ENGAGE);
        EXPECT_FALSE(::IsWindowEnabled(hEngage));
        const DWORD dwStart = ::GetTickCount();
        while (!::IsWindowEnabled(hEngage) && ::GetTickCount() - dwStart < 30000) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        EXPECT_TRUE(::IsWindowEnabled(hEngage)) << "the run did not end";
        EXPECT_EQ(dlg.GetCoilCount(), 0);
    };
    {
        CMainDlg dlg;
        g_pRuleDlg = &dlg;
        ::SetTimer(nullptr, 0, 100, RunRuleScenario);
        dlg.RunModal();
        g_pRuleDlg = nullptr;
    }
    SetWarpShipObserver(nullptr);
    EXPECT_EQ(g_nRegionsAt[s_nOrder[0]], 0) << "the closed window";
    EXPECT_EQ(g_nRegionsAt[s_nOrder[1]], 21) << "A, the first live window";
    EXPECT_EQ(g_nRegionsAt[s_nOrder[2]], 11) << "B";
    EXPECT_TRUE(::IsIconic(s_hTargets[s_nOrder[1]]));
    EXPECT_TRUE(::IsIconic(s_hTargets[s_nOrder[2]]));
    for (HWND h : s_hTargets)
        if (::IsWindow(h))
            ::DestroyWindow(h);
    ::UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

} // namespace
