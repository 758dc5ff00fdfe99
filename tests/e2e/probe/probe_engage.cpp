// Probe commands of the engage tests.
#include "Probe.h"

#include <cstdio>
#include <cwchar>
#include <vector>

// Selects every item of a list box whose text starts with PREFIX and prints
// how many were selected. Reads the texts as wide characters, which works
// for lists that keep them in either form.
PROBE_COMMAND(list_select_prefix, "list-select-prefix", 2) {
    HWND h = ParseHwnd(argv[1]);
    wchar_t prefix[256] = L"";
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, prefix, 256);
    const size_t nPrefix = wcslen(prefix);
    const int n = (int)SendMessageW(h, LB_GETCOUNT, 0, 0);
    int nSelected = 0;
    for (int i = 0; i < n; ++i) {
        const int len = (int)SendMessageW(h, LB_GETTEXTLEN, i, 0);
        if (len < 0)
            continue;
        std::vector<wchar_t> text((size_t)len + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, (LPARAM)text.data());
        if (wcsncmp(text.data(), prefix, nPrefix) == 0 &&
            SendMessageW(h, LB_SETSEL, TRUE, (LPARAM)i) != LB_ERR)
            ++nSelected;
    }
    printf("%d\n", nSelected);
    return 0;
}

// Counts the items of a list box whose text starts with PREFIX.
PROBE_COMMAND(list_count_prefix, "list-count-prefix", 2) {
    HWND h = ParseHwnd(argv[1]);
    wchar_t prefix[256] = L"";
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, prefix, 256);
    const size_t nPrefix = wcslen(prefix);
    const int n = (int)SendMessageW(h, LB_GETCOUNT, 0, 0);
    int nFound = 0;
    for (int i = 0; i < n; ++i) {
        const int len = (int)SendMessageW(h, LB_GETTEXTLEN, i, 0);
        std::vector<wchar_t> text((size_t)(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, (LPARAM)text.data());
        nFound += wcsncmp(text.data(), prefix, nPrefix) == 0;
    }
    printf("%d\n", nFound);
    return 0;
}

// Waits until a window titled TITLE is shown, then posts the message. Says
// "waiting" first, once it has checked that no such window is shown yet, so
// that a script can start what shows the window only then; fails if none
// appears within TIMEOUT ms. A message that must arrive while a window of the
// run is on screen is timed here, not by the script's sleeps, which a busy
// machine stretches past the moment.
PROBE_COMMAND(post_when_shown, "post-when-shown", 6) {
    auto shown = [&] {
        HWND h = FindWindowA(nullptr, argv[1]);
        return h && IsWindowVisible(h) ? h : nullptr;
    };
    if (shown())
        return ProbeFail("the window is shown already");
    printf("waiting\n");
    fflush(stdout);
    if (!WaitFor(shown, (DWORD)ParseNum(argv[2])))
        return ProbeFail("the window was not shown");
    BOOL ok = PostMessageA(ParseHwnd(argv[3]), (UINT)ParseNum(argv[4]), (WPARAM)ParseNum(argv[5]),
                           (LPARAM)ParseNum(argv[6]));
    return ok ? 0 : ProbeFail("PostMessage failed");
}
