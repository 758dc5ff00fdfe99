// Probe commands of the engage tests.
#include "Probe.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

// Calls f(index) for each item of a list box whose text starts with prefix;
// returns how many calls answered true. Reads the texts as wide characters,
// which works for lists that keep them in either form.
template <class F> int ForPrefixed(HWND h, const char* pszPrefix, F f) {
    wchar_t prefix[256] = L"";
    MultiByteToWideChar(CP_ACP, 0, pszPrefix, -1, prefix, 256);
    const size_t nPrefix = wcslen(prefix);
    const int n = (int)SendMessageW(h, LB_GETCOUNT, 0, 0);
    int nTrue = 0;
    for (int i = 0; i < n; ++i) {
        const int len = (int)SendMessageW(h, LB_GETTEXTLEN, i, 0);
        std::vector<wchar_t> text((size_t)(len > 0 ? len : 0) + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, i, (LPARAM)text.data());
        nTrue += wcsncmp(text.data(), prefix, nPrefix) == 0 && f(i);
    }
    return nTrue;
}

int SelectPrefixed(HWND h, const char* pszPrefix) {
    return ForPrefixed(h, pszPrefix,
                       [h](int i) { return SendMessageW(h, LB_SETSEL, TRUE, i) != LB_ERR; });
}

int CountSelectedPrefixed(HWND h, const char* pszPrefix) {
    return ForPrefixed(h, pszPrefix, [h](int i) { return SendMessageW(h, LB_GETSEL, i, 0) > 0; });
}

} // namespace

// Selects every item of a list box whose text starts with PREFIX and prints
// how many were selected.
PROBE_COMMAND(list_select_prefix, "list-select-prefix", 2) {
    printf("%d\n", SelectPrefixed(ParseHwnd(argv[1]), argv[2]));
    return 0;
}

// Counts the items of a list box whose text starts with PREFIX.
PROBE_COMMAND(list_count_prefix, "list-count-prefix", 2) {
    printf("%d\n", ForPrefixed(ParseHwnd(argv[1]), argv[2], [](int) { return true; }));
    return 0;
}

// How many of them are selected.
PROBE_COMMAND(list_selected_prefix, "list-selected-prefix", 2) {
    printf("%d\n", CountSelectedPrefixed(ParseHwnd(argv[1]), argv[2]));
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

// restart-when-taken DIALOG LIST TAKEN SOLO [BUTTON]: waits until no item
// starting with TAKEN is selected any more (the engage worker took it, and is
// held by it when it does not answer), then selects the items starting with
// SOLO alone and double-clicks the list: the dialog's WM_COMMAND posted and,
// 20 ms later, sent (5-s limit), as a tool does that repeats a command it is
// not sure arrived; with BUTTON (a control id), that button's click is sent
// instead. Prints "answered" when the send was. Timed here, since the worker
// is held for 2 s only, which a script's steps could outlast.
PROBE_COMMAND(restart_when_taken, "restart-when-taken", 4) {
    HWND hDlg = ParseHwnd(argv[1]), hList = ParseHwnd(argv[2]);
    if (!WaitFor([&] { return CountSelectedPrefixed(hList, argv[3]) ? nullptr : hList; }, 15000))
        return ProbeFail("the item was not taken");
    SendMessageW(hList, LB_SETSEL, FALSE, -1);
    if (SelectPrefixed(hList, argv[4]) == 0)
        return ProbeFail("nothing to select");
    const WPARAM wParam = MAKEWPARAM(GetDlgCtrlID(hList), LBN_DBLCLK);
    if (!PostMessageA(hDlg, WM_COMMAND, wParam, (LPARAM)hList))
        return ProbeFail("PostMessage failed");
    Sleep(20);
    const int nButton = argc > 5 ? (int)ParseNum(argv[5]) : 0;
    const WPARAM wSent = nButton ? MAKEWPARAM(nButton, BN_CLICKED) : wParam;
    const HWND hFrom = nButton ? GetDlgItem(hDlg, nButton) : hList;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hDlg, WM_COMMAND, wSent, (LPARAM)hFrom, SMTO_NORMAL, 5000, &result))
        return ProbeFail("SendMessage timed out");
    printf("answered\n");
    return 0;
}
