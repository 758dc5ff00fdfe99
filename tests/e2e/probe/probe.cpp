// probe: looks at and pokes the windows of other programs for the end-to-end
// scripts. One command per run; results on stdout, exit code 0 on success.
//
//   probe find TITLE [TIMEOUT_MS]          hwnd of a visible top-level window with that title
//   probe findclass CLASS [TIMEOUT_MS]     hwnd of a top-level window of that class
//   probe count-title TITLE                how many top-level windows have that title
//   probe wait-gone HWND [TIMEOUT_MS]      waits until the window no longer exists
//   probe send HWND MSG WPARAM LPARAM      SendMessage (5 s limit); prints the result
//   probe post HWND MSG WPARAM LPARAM      PostMessage
//   probe item HWND ID                     hwnd of a dialog's control
//   probe info HWND                        one line: state, rectangle, class and title
//   probe windows                          every top-level window, one line each
//   probe list-items HWND                  the texts of a list box's items
//   probe list-select HWND INDEX...        selects these items (adds to the selection)
//   probe list-selected HWND               indices of the selected items
//   probe key HWND VK                      posts a key press to the window's focus
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND ParseHwnd(const char* s) {
    return (HWND)(UINT_PTR)strtoull(s, nullptr, 0);
}
long long ParseNum(const char* s) {
    return strtoll(s, nullptr, 0);
}

std::string WindowInfo(HWND h) {
    char title[512] = "", cls[256] = "";
    GetWindowTextA(h, title, sizeof title);
    GetClassNameA(h, cls, sizeof cls);
    RECT rc = {};
    GetWindowRect(h, &rc);
    char line[1024];
    snprintf(line, sizeof line,
             "hwnd=%llu visible=%d enabled=%d iconic=%d rect=%ld,%ld,%ld,%ld style=0x%08lx "
             "exstyle=0x%08lx topmost=%d class=%s title=%s",
             (unsigned long long)(UINT_PTR)h, IsWindowVisible(h) ? 1 : 0,
             IsWindowEnabled(h) ? 1 : 0, IsIconic(h) ? 1 : 0, rc.left, rc.top, rc.right, rc.bottom,
             (unsigned long)GetWindowLongA(h, GWL_STYLE),
             (unsigned long)GetWindowLongA(h, GWL_EXSTYLE),
             (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0, cls, title);
    return line;
}

// Polls until found() gives a window or the time is up.
template <class F> HWND WaitFor(F found, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = found())
            return h;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

struct TitleSearch {
    const char* title;
    int count;
    HWND found;
};

BOOL CALLBACK CountTitle(HWND h, LPARAM lp) {
    TitleSearch* s = reinterpret_cast<TitleSearch*>(lp);
    char title[512] = "";
    GetWindowTextA(h, title, sizeof title);
    if (strcmp(title, s->title) == 0) {
        ++s->count;
        if (IsWindowVisible(h) && !s->found)
            s->found = h;
    }
    return TRUE;
}

BOOL CALLBACK PrintWindowLine(HWND h, LPARAM) {
    printf("%s\n", WindowInfo(h).c_str());
    return TRUE;
}

int Fail(const char* what) {
    fprintf(stderr, "probe: %s\n", what);
    return 1;
}

int Run(int argc, char** argv) {
    if (argc < 2)
        return Fail("no command");
    std::string cmd = argv[1];
    auto arg = [&](int i) -> const char* { return i < argc ? argv[i] : nullptr; };
    auto need = [&](int n) { return argc >= n + 2; };

    if (cmd == "find" && need(1)) {
        DWORD t = arg(3) ? (DWORD)ParseNum(arg(3)) : 0;
        HWND h = WaitFor(
            [&] {
                TitleSearch s = {arg(2), 0, nullptr};
                EnumWindows(CountTitle, (LPARAM)&s);
                return s.found;
            },
            t);
        if (!h)
            return Fail("window not found");
        printf("%llu\n", (unsigned long long)(UINT_PTR)h);
        return 0;
    }
    if (cmd == "findclass" && need(1)) {
        DWORD t = arg(3) ? (DWORD)ParseNum(arg(3)) : 0;
        HWND h = WaitFor([&] { return FindWindowA(arg(2), nullptr); }, t);
        if (!h)
            return Fail("window not found");
        printf("%llu\n", (unsigned long long)(UINT_PTR)h);
        return 0;
    }
    if (cmd == "count-title" && need(1)) {
        TitleSearch s = {arg(2), 0, nullptr};
        EnumWindows(CountTitle, (LPARAM)&s);
        printf("%d\n", s.count);
        return 0;
    }
    if (cmd == "wait-gone" && need(1)) {
        HWND h = ParseHwnd(arg(2));
        DWORD t = arg(3) ? (DWORD)ParseNum(arg(3)) : 0;
        HWND still = WaitFor([&] { return IsWindow(h) ? nullptr : (HWND)1; }, t);
        return still ? 0 : Fail("window still exists");
    }
    if ((cmd == "send" || cmd == "post") && need(4)) {
        HWND h = ParseHwnd(arg(2));
        UINT msg = (UINT)ParseNum(arg(3));
        WPARAM wp = (WPARAM)ParseNum(arg(4));
        LPARAM lp = (LPARAM)ParseNum(arg(5));
        if (cmd == "post")
            return PostMessageA(h, msg, wp, lp) ? 0 : Fail("PostMessage failed");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_ABORTIFHUNG, 5000, &result))
            return Fail("SendMessage timed out");
        printf("%lld\n", (long long)(LONG_PTR)result);
        return 0;
    }
    if (cmd == "item" && need(2)) {
        HWND h = GetDlgItem(ParseHwnd(arg(2)), (int)ParseNum(arg(3)));
        if (!h)
            return Fail("no such control");
        printf("%llu\n", (unsigned long long)(UINT_PTR)h);
        return 0;
    }
    if (cmd == "info" && need(1)) {
        HWND h = ParseHwnd(arg(2));
        if (!IsWindow(h))
            return Fail("not a window");
        printf("%s\n", WindowInfo(h).c_str());
        return 0;
    }
    if (cmd == "windows") {
        EnumWindows(PrintWindowLine, 0);
        return 0;
    }
    if (cmd == "list-items" && need(1)) {
        HWND h = ParseHwnd(arg(2));
        int n = (int)SendMessageA(h, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            char text[1100] = "";
            int len = (int)SendMessageA(h, LB_GETTEXTLEN, i, 0);
            if (len >= 0 && len < (int)sizeof text)
                SendMessageA(h, LB_GETTEXT, i, (LPARAM)text);
            printf("%s\n", text);
        }
        return 0;
    }
    if (cmd == "list-select" && need(1)) {
        HWND h = ParseHwnd(arg(2));
        for (int i = 3; i < argc; ++i)
            if (SendMessageA(h, LB_SETSEL, TRUE, (LPARAM)ParseNum(arg(i))) == LB_ERR)
                return Fail("LB_SETSEL failed");
        return 0;
    }
    if (cmd == "list-selected" && need(1)) {
        HWND h = ParseHwnd(arg(2));
        int n = (int)SendMessageA(h, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i)
            if (SendMessageA(h, LB_GETSEL, i, 0) > 0)
                printf("%d\n", i);
        return 0;
    }
    if (cmd == "key" && need(2)) {
        HWND h = ParseHwnd(arg(2));
        GUITHREADINFO gti = {};
        gti.cbSize = sizeof gti;
        GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gti);
        HWND target = gti.hwndFocus ? gti.hwndFocus : h;
        WPARAM vk = (WPARAM)ParseNum(arg(3));
        PostMessageA(target, WM_KEYDOWN, vk, 1);
        PostMessageA(target, WM_KEYUP, vk, (LPARAM)0xC0000001);
        return 0;
    }
    return Fail("unknown command or missing arguments");
}

} // namespace

int main(int argc, char** argv) {
    int rc = Run(argc, argv);
    fflush(stdout);
    return rc;
}
