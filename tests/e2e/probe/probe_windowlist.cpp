// Commands for the window list's end-to-end test.
//
//   probe list-texts HWND          item texts as UTF-8, one a line (read as
//                                  Unicode: Wine hands another process's
//                                  ANSI list box text back in Unicode)
//   probe list-heights HWND        item heights, one a line
//   probe show HWND SW             ShowWindow with that command
//   probe to-front HWND            puts the window at the top of the Z order
//   probe windows-ansi             every top-level window with its ANSI title
#include "Probe.h"

#include <cstdio>
#include <vector>

PROBE_COMMAND(list_texts, "list-texts", 1) {
    HWND h = ParseHwnd(argv[1]);
    int n = (int)SendMessageW(h, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        int len = (int)SendMessageW(h, LB_GETTEXTLEN, i, 0);
        if (len < 0)
            return ProbeFail("LB_GETTEXTLEN failed");
        std::vector<wchar_t> text((size_t)len + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, (LPARAM)text.data());
        int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, nullptr, 0, nullptr, nullptr);
        std::vector<char> utf8((size_t)(cb > 0 ? cb : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, utf8.data(), cb, nullptr, nullptr);
        printf("%s\n", utf8.data());
    }
    return 0;
}

PROBE_COMMAND(list_heights, "list-heights", 1) {
    HWND h = ParseHwnd(argv[1]);
    int n = (int)SendMessageA(h, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        printf("%d\n", (int)SendMessageA(h, LB_GETITEMHEIGHT, i, 0));
    return 0;
}

PROBE_COMMAND(show, "show", 2) {
    ShowWindow(ParseHwnd(argv[1]), (int)ParseNum(argv[2]));
    return 0;
}

PROBE_COMMAND(to_front, "to-front", 1) {
    BOOL ok = SetWindowPos(ParseHwnd(argv[1]), HWND_TOP, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return ok ? 0 : ProbeFail("SetWindowPos failed");
}

namespace {
BOOL CALLBACK PrintAnsiTitle(HWND h, LPARAM) {
    char title[1024] = "";
    GetWindowTextA(h, title, sizeof title);
    wchar_t wide[1024] = L"";
    MultiByteToWideChar(CP_ACP, 0, title, -1, wide, 1024);
    char utf8[4096] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    RECT rc = {};
    GetWindowRect(h, &rc);
    printf("%llu %d %ld %ld\t%s\n", (unsigned long long)(UINT_PTR)h, IsWindowVisible(h) ? 1 : 0,
           rc.left, rc.top, utf8);
    return TRUE;
}
} // namespace

// Every top-level window in enumeration order: "HWND VISIBLE LEFT TOP<tab>TITLE",
// the title as an ANSI program reads it (up to 1023 characters), in UTF-8.
PROBE_COMMAND(windows_ansi, "windows-ansi", 0) {
    EnumWindows(PrintAnsiTitle, 0);
    return 0;
}
