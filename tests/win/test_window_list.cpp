// The window list of the real main dialog, run in-process: which windows
// are listed and in what order, the cap, the table behind the items, the
// hand-out of the selection (also from another thread) and the icons.
#include "app/MainDlg.h"
#include "tests/win/DesktopStandIn.h"
#include "tests/win/MainDlgTestAccess.h"
#include "windowlist/ClassIcon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using Dlg = CMainDlgTestAccess;

namespace {

const char kIconClass[] = "WindowListTestIcon";
const char kNoIconClass[] = "WindowListTestNoIcon";

// Runs a body inside the dialog's initialisation, after the first refresh,
// then ends the dialog.
class CTestDlg : public CMainDlg {
  public:
    void (*m_pfnBody)(CTestDlg*) = nullptr;

  protected:
    BOOL OnInitDialog() override {
        CMainDlg::OnInitDialog();
        if (m_pfnBody)
            m_pfnBody(this);
        EndDialog(IDCANCEL);
        return TRUE;
    }
};

void RunDialog(void (*body)(CTestDlg*)) {
    CTestDlg dlg;
    dlg.m_pfnBody = body;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// Test windows of this process, which the platform answers class questions
// about exactly.
class TestWindows {
  public:
    TestWindows() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hIcon = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
        wc.lpszClassName = kIconClass;
        RegisterClassA(&wc);
        wc.hIcon = nullptr;
        wc.lpszClassName = kNoIconClass;
        RegisterClassA(&wc);
    }
    ~TestWindows() {
        for (HWND h : m_windows)
            DestroyWindow(h);
        UnregisterClassA(kIconClass, GetModuleHandleA(nullptr));
        UnregisterClassA(kNoIconClass, GetModuleHandleA(nullptr));
    }
    // Popups unless told: Wine waits two seconds for a window manager
    // whenever a captioned window goes away. Minimised popups, which no
    // window manager handles, are parked at the screen's bottom there.
    HWND Open(const char* title, int x, int y, bool icon = true, int show = SW_SHOWNOACTIVATE,
              DWORD style = WS_POPUP) {
        HWND h = CreateWindowExA(0, icon ? kIconClass : kNoIconClass, title, style, x, y, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (h && show != SW_HIDE)
            ShowWindow(h, show);
        if (h)
            m_windows.push_back(h);
        return h;
    }

  private:
    std::vector<HWND> m_windows;
};

std::string ItemText(CIconListBox& list, int i) {
    CString s;
    list.GetText(i, s);
    return (const char*)s;
}

std::vector<std::string> ListedTitles(CMainDlg* d, const char* prefix) {
    std::vector<std::string> out;
    for (int i = 0; i < Dlg::List(*d).GetCount(); ++i) {
        std::string t = ItemText(Dlg::List(*d), i);
        if (t.compare(0, strlen(prefix), prefix) == 0)
            out.push_back(t);
    }
    return out;
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> EnumerationOrder() {
    std::vector<HWND> order;
    EnumWindows(CollectWindow, (LPARAM)&order);
    return order;
}

struct Taken {
    CMainDlg* pDlg;
    HWND h[3];
};

DWORD WINAPI TakeThreeTimes(LPVOID p) {
    Taken* t = static_cast<Taken*>(p);
    for (HWND& h : t->h)
        h = t->pDlg->TakeNextSelectedWindow();
    return 0;
}

// Every item is backed by its window, its image and its table entry.
void ExpectTableMatchesList(CMainDlg* d) {
    ASSERT_EQ(Dlg::List(*d).GetCount(), Dlg::WindowCount(*d));
    EXPECT_EQ(ImageList_GetImageCount(Dlg::ImageList(*d)), Dlg::WindowCount(*d));
    for (int i = 0; i < Dlg::WindowCount(*d); ++i) {
        char title[1024] = "";
        GetWindowTextA(Dlg::Windows(*d)[i], title, sizeof title);
        EXPECT_EQ(ItemText(Dlg::List(*d), i), title) << "item " << i;
        ASSERT_TRUE(Dlg::List(*d).GetItemRecord(i));
        EXPECT_EQ(Dlg::List(*d).GetItemRecord(i)->nImage, i);
        EXPECT_NE(Dlg::Windows(*d)[i], d->m_hWnd);
    }
}

} // namespace

TEST(WindowList, ListsExactlyTheQualifyingWindowsInOrder) {
    RunDialog([](CTestDlg* d) {
        TestWindows w;
        const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
        w.Open("wl-first", 100, 100);
        w.Open("wl-noicon", 120, 120, false);
        w.Open("wl-hidden", 140, 140, true, SW_HIDE);
        w.Open("", 160, 160);
        w.Open("wl-left", -1, 100);
        w.Open("wl-above", 100, -1);
        w.Open("wl-edge", cx, cy);
        w.Open("wl-beyond-x", cx + 1, 0);
        w.Open("wl-beyond-y", 0, cy + 1);
        w.Open("wl-minimised", 180, 180, true, SW_MINIMIZE, WS_OVERLAPPEDWINDOW);
        w.Open("wl-origin", 0, 0);
        std::string longTitle = "wl-long " + std::string(1500, 'x');
        w.Open(longTitle.c_str(), 200, 200);
        w.Open("wl-\xe9t\xe9", 220, 220);
        d->RefreshWindowList();

        // Windows created later come first: the list follows the Z order.
        std::vector<std::string> expected = {"wl-\xe9t\xe9", longTitle.substr(0, 1023), "wl-origin",
                                             "wl-edge", "wl-first"};
        EXPECT_EQ(ListedTitles(d, "wl-"), expected);
        ExpectTableMatchesList(d);
        // Rule 9 is answered exactly in-process: a class without an icon.
        ListIcon icon;
        HWND hNoIcon = FindWindowA(kNoIconClass, "wl-noicon");
        EXPECT_FALSE(GetListIcon(hNoIcon, &icon));
        EXPECT_TRUE(IsWindowVisible(hNoIcon));
        HWND hFirst = FindWindowA(kIconClass, "wl-first");
        ASSERT_TRUE(GetListIcon(hFirst, &icon));
        EXPECT_FALSE(icon.bOwned) << "the class icon itself";
        ReleaseListIcon(&icon);
        // The dialog never lists itself, however it is titled.
        d->SetWindowText("wl-dialog");
        d->RefreshWindowList();
        EXPECT_EQ(ListedTitles(d, "wl-dialog"), std::vector<std::string>());

        // A window that has gone is skipped, not listed with a stock icon.
        HWND hGone = w.Open("wl-gone", 100, 100);
        DestroyWindow(hGone);
        EXPECT_FALSE(GetListIcon(hGone, &icon));
        int n = Dlg::WindowCount(*d);
        EXPECT_TRUE(d->AddQualifyingWindow(hGone));
        EXPECT_EQ(Dlg::WindowCount(*d), n);
    });
}

// On a composed desktop at 150 %: a cloaked window and the shell's desktop
// are left out; a window whose rectangle overhangs the left edge by its
// invisible border is listed by its visible frame, which only the physical
// rectangle holds.
TEST(WindowList, TheCompositorsFactsDecideAtAnyScale) {
    ASSERT_TRUE(standin::InstallHooks());
    RunDialog([](CTestDlg* d) {
        TestWindows w;
        standin::Scope desktop;
        // Made before the scale applies: their coordinates are physical.
        HWND hCloaked = w.Open("wl-cloaked", 100, 100);
        HWND hUncloaked = w.Open("wl-uncloaked", 110, 110);
        HWND hShell = w.Open("wl-shell", 120, 120);
        HWND hSnapped = w.Open("wl-snapped", -7, 0);
        w.Open("wl-overhang", -7, 0); // no frame reported: left out as before
        standin::D().composed = true;
        standin::D().dpiCalls = true;
        standin::D().scalePercent = 150;
        desktop.Refresh();
        standin::D().cloaked[hCloaked] = 1;
        standin::D().cloaked[hUncloaked] = 0;
        standin::D().shell = hShell;
        RECT rc = {};
        standin::RealGetWindowRect()(hSnapped, &rc);
        rc.left += 7;
        standin::D().frames[hSnapped] = rc;
        d->RefreshWindowList();
        EXPECT_EQ(ListedTitles(d, "wl-"), (std::vector<std::string>{"wl-snapped", "wl-uncloaked"}));
        ExpectTableMatchesList(d);
    });
}

TEST(WindowList, RefreshRebuildsAndStopsAtTheCap) {
    RunDialog([](CTestDlg* d) {
        TestWindows w;
        HWND hOld = w.Open("wl-old", 100, 100);
        d->RefreshWindowList();
        EXPECT_EQ(ListedTitles(d, "wl-"), std::vector<std::string>{"wl-old"});
        DestroyWindow(hOld);
        w.Open("wl-new", 100, 100);
        d->RefreshWindowList();
        EXPECT_EQ(ListedTitles(d, "wl-"), std::vector<std::string>{"wl-new"});
        EXPECT_NE((HIMAGELIST)Dlg::ImageList(*d), nullptr);
        ExpectTableMatchesList(d);

        for (int i = 0; i < 110; ++i)
            w.Open(("wl-many " + std::to_string(i)).c_str(), 10 + i, 10 + i);
        d->RefreshWindowList();
        EXPECT_EQ(Dlg::WindowCount(*d), 100);
        ExpectTableMatchesList(d);
        // The first 100 in enumeration order: the listed windows keep that
        // order, and no window of ours before the last listed one is missing.
        std::vector<HWND> order = EnumerationOrder();
        size_t pos = 0;
        for (int i = 0; i < Dlg::WindowCount(*d); ++i) {
            size_t at = pos;
            while (at < order.size() && order[at] != Dlg::Windows(*d)[i]) {
                char t[64] = "";
                GetWindowTextA(order[at], t, sizeof t);
                EXPECT_NE(std::string(t).rfind("wl-many", 0), 0u) << t << " was left out";
                ++at;
            }
            ASSERT_LT(at, order.size()) << "item " << i << " out of order";
            pos = at + 1;
        }
    });
}

TEST(WindowList, TakeHandsOutTheSelectionTopDown) {
    RunDialog([](CTestDlg* d) {
        TestWindows w;
        for (int i = 0; i < 12; ++i)
            w.Open(("wl-take " + std::to_string(i)).c_str(), 10 + i, 10 + i);
        d->RefreshWindowList();
        ASSERT_GE(Dlg::WindowCount(*d), 10);
        CIconListBox& list = Dlg::List(*d);
        for (int i : {5, 2, 9})
            list.SendMessage(LB_SETSEL, TRUE, i);
        EXPECT_EQ(d->TakeNextSelectedWindow(), Dlg::Windows(*d)[2]);
        EXPECT_EQ(d->TakeNextSelectedWindow(), Dlg::Windows(*d)[5]);
        EXPECT_EQ(d->TakeNextSelectedWindow(), Dlg::Windows(*d)[9]);
        EXPECT_EQ(list.SendMessage(LB_GETSELCOUNT), 0);
        EXPECT_EQ(d->TakeNextSelectedWindow(), nullptr);

        // From another thread the hand-out is the same, done on this one.
        list.SendMessage(LB_SETSEL, TRUE, 7);
        list.SendMessage(LB_SETSEL, TRUE, 3);
        Taken taken = {d, {}};
        HANDLE hThread = CreateThread(nullptr, 0, TakeThreeTimes, &taken, 0, nullptr);
        ASSERT_TRUE(hThread);
        // Keep answering the worker's messages until it is done.
        while (MsgWaitForMultipleObjects(1, &hThread, FALSE, 5000, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
        }
        CloseHandle(hThread);
        EXPECT_EQ(taken.h[0], Dlg::Windows(*d)[3]);
        EXPECT_EQ(taken.h[1], Dlg::Windows(*d)[7]);
        EXPECT_EQ(taken.h[2], nullptr);
    });
}

// Judged by handle, not by title: a window without a title is never listed,
// while its titled twin of the same class, place and state is.
TEST(WindowList, AnUntitledWindowIsNotListed) {
    RunDialog([](CTestDlg* d) {
        TestWindows w;
        HWND hTitled = w.Open("wl-twin", 160, 160);
        HWND hUntitled = w.Open("", 160, 160);
        d->RefreshWindowList();
        const HWND* first = Dlg::Windows(*d);
        const HWND* last = Dlg::Windows(*d) + Dlg::WindowCount(*d);
        EXPECT_NE(std::find(first, last, hTitled), last);
        EXPECT_EQ(std::find(first, last, hUntitled), last);
    });
}

// A solid 32 x 32 icon of one colour.
static HICON SolidIcon(COLORREF colour) {
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = 32;
    bmi.bmiHeader.biHeight = 32;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    void* pBits = nullptr;
    HBITMAP hColour = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    auto* p = static_cast<BYTE*>(pBits);
    for (int i = 0; i < 32 * 32; ++i) {
        p[3 * i] = GetBValue(colour);
        p[3 * i + 1] = GetGValue(colour);
        p[3 * i + 2] = GetRValue(colour);
    }
    const BYTE maskBits[32 * 4] = {}; // all 0: every pixel opaque
    HBITMAP hMask = CreateBitmap(32, 32, 1, 1, maskBits);
    ICONINFO ii = {TRUE, 0, 0, hMask, hColour};
    HICON hIcon = CreateIconIndirect(&ii);
    DeleteObject(hMask);
    DeleteObject(hColour);
    return hIcon;
}

// The centre pixel of image i of the list, drawn on white.
static COLORREF ImageCentre(HIMAGELIST himl, int i) {
    HDC hScreen = GetDC(nullptr);
    HDC hdc = CreateCompatibleDC(hScreen);
    HBITMAP hbm = CreateCompatibleBitmap(hScreen, 32, 32);
    HGDIOBJ hOld = SelectObject(hdc, hbm);
    RECT rc = {0, 0, 32, 32};
    FillRect(hdc, &rc, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ImageList_Draw(himl, i, hdc, 0, 0, ILD_NORMAL);
    const COLORREF c = GetPixel(hdc, 16, 16);
    SelectObject(hdc, hOld);
    DeleteObject(hbm);
    DeleteDC(hdc);
    ReleaseDC(nullptr, hScreen);
    return c;
}

// Each window is shown with its own class icon: image i is the icon of
// window i, so an image list one place off shows.
TEST(WindowList, EachItemShowsItsOwnWindowsIcon) {
    RunDialog([](CTestDlg* d) {
        const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                     RGB(255, 255, 0)};
        HICON icons[4];
        HWND windows[4];
        char szClass[4][32];
        for (int k = 0; k < 4; ++k) {
            icons[k] = SolidIcon(colours[k]);
            ASSERT_TRUE(icons[k]);
            std::snprintf(szClass[k], sizeof szClass[k], "WindowListTestIcon%d", k);
            WNDCLASSA wc = {};
            wc.lpfnWndProc = DefWindowProcA;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hIcon = icons[k];
            wc.lpszClassName = szClass[k];
            ASSERT_TRUE(RegisterClassA(&wc));
            windows[k] = CreateWindowExA(0, szClass[k], ("wl-icon " + std::to_string(k)).c_str(),
                                         WS_POPUP, 100 + 10 * k, 100, 200, 100, nullptr, nullptr,
                                         GetModuleHandleA(nullptr), nullptr);
            ShowWindow(windows[k], SW_SHOWNOACTIVATE);
        }
        d->RefreshWindowList();
        int nSeen = 0;
        for (int i = 0; i < Dlg::WindowCount(*d); ++i) {
            for (int k = 0; k < 4; ++k) {
                if (Dlg::Windows(*d)[i] != windows[k])
                    continue;
                ++nSeen;
                ASSERT_TRUE(Dlg::List(*d).GetItemRecord(i));
                const int nImage = Dlg::List(*d).GetItemRecord(i)->nImage;
                EXPECT_EQ(ImageCentre(Dlg::ImageList(*d), nImage), colours[k])
                    << "item " << i << ", window " << k;
            }
        }
        EXPECT_EQ(nSeen, 4);
        for (int k = 0; k < 4; ++k) {
            DestroyWindow(windows[k]);
            UnregisterClassA(szClass[k], GetModuleHandleA(nullptr));
            DestroyIcon(icons[k]);
        }
    });
}

// Windows of another process: where the platform cannot answer class
// questions about them (Wine), the program file's icon stands in, else
// the stock application icon.
TEST(WindowList, IconsOfOtherProcesses) {
    HICON hOwn = GetProgramFileIcon(GetCurrentProcessId());
    EXPECT_TRUE(hOwn) << "this program carries the application icon";
    if (hOwn)
        DestroyIcon(hOwn);
    EXPECT_EQ(GetProgramFileIcon(0xFFFFFFF0), nullptr);

    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string dir(szExe);
    dir.resize(dir.find_last_of("\\/") + 1);
    struct Case {
        std::string command;
        const char* title;
        const char* cls;
        BOOL bFileHasIcon;
    } cases[] = {
        {"notepad.exe", nullptr, "Notepad", TRUE},
        {"\"" + dir + "..\\e2e\\targetwin.exe\" title=wl-foreign", "wl-foreign", nullptr, FALSE},
    };
    for (Case& c : cases) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::vector<char> cmd(c.command.begin(), c.command.end());
        cmd.push_back('\0');
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            ADD_FAILURE() << "cannot start " << c.command;
            continue;
        }
        HWND h = nullptr;
        for (int i = 0; i < 200 && !h; ++i, Sleep(50))
            h = FindWindowA(c.cls, c.title);
        ASSERT_TRUE(h) << c.command;
        SetLastError(0);
        const bool bAnswered = GetClassLongPtrA(h, GCLP_HICON) != 0 || GetLastError() == 0;
        ListIcon icon;
        EXPECT_TRUE(GetListIcon(h, &icon)) << c.command;
        EXPECT_TRUE(icon.hIcon);
        if (!bAnswered) {
            EXPECT_EQ(icon.bOwned, c.bFileHasIcon) << c.command;
        }
        ReleaseListIcon(&icon);
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}
