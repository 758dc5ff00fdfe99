// The tray icon of the real main dialog, in-process: the program's calls of
// Shell_NotifyIconA are recorded through its import table (as the handle
// ledger records other calls), since under Wine the icon goes with the window
// anyway and a look at the tray from outside cannot tell a missing delete.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "HandleLedger.h"
#include "app/MainDlg.h"
#include "tests/win/MainDlgTestAccess.h"

using Dlg = CMainDlgTestAccess;

namespace {

struct TrayCall {
    DWORD dwMessage;
    NOTIFYICONDATAA nid; // the bytes the call was given, up to their stated size
};

std::vector<TrayCall> g_trayCalls;
decltype(&::Shell_NotifyIconA) g_realShellNotifyIconA = nullptr;

BOOL WINAPI HookShellNotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA pnid) {
    TrayCall call = {dwMessage, {}};
    if (pnid)
        std::memcpy(&call.nid, pnid, std::min<size_t>(pnid->cbSize, sizeof call.nid));
    g_trayCalls.push_back(call);
    return g_realShellNotifyIconA(dwMessage, pnid);
}

CMainDlg* g_pDlg = nullptr;
HWND g_hDialog = nullptr;

// Runs inside the dialog's modal loop once it is up: ends it as Escape does.
void CALLBACK EndDialogSoon(HWND, UINT, UINT_PTR idTimer, DWORD) {
    ::KillTimer(nullptr, idTimer);
    g_hDialog = g_pDlg->m_hWnd;
    ::PostMessageA(g_hDialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

TEST(MainDialogTray, IconIsAddedAtStartAndDeletedAtTheEndWithTheSameRecord) {
    ASSERT_TRUE(ledger::Patch("shell32.dll", "Shell_NotifyIconA", (void*)&HookShellNotifyIconA,
                              (void**)&g_realShellNotifyIconA));
    CMainDlg dlg;
    g_pDlg = &dlg;
    ::SetTimer(nullptr, 0, 300, EndDialogSoon);
    dlg.RunModal();
    ASSERT_NE(g_hDialog, nullptr);

    ASSERT_EQ(g_trayCalls.size(), 2u);
    EXPECT_EQ(g_trayCalls[0].dwMessage, (DWORD)NIM_ADD);
    EXPECT_EQ(g_trayCalls[1].dwMessage, (DWORD)NIM_DELETE);
    const NOTIFYICONDATAA& add = g_trayCalls[0].nid;
#ifndef _WIN64
    EXPECT_EQ(add.cbSize, 488u);
#else
    EXPECT_EQ(add.cbSize, (DWORD)NOTIFYICONDATAA_V2_SIZE);
#endif
    EXPECT_EQ(add.hWnd, g_hDialog);
    EXPECT_EQ(add.uID, 1u);
    EXPECT_EQ(add.uFlags, 7u);
    EXPECT_EQ(add.uCallbackMessage, 1037u);
    EXPECT_EQ(add.hIcon, Dlg::Icon(dlg));
    EXPECT_STREQ(add.szTip, "Tachyrama");
    EXPECT_EQ(std::memcmp(&g_trayCalls[1].nid, &add, add.cbSize), 0)
        << "the delete names the icon with the record of the add";
}
