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
//   probe list-select HWND INDEX...        selects these items (adds to the selection)
//   probe list-selected HWND               indices of the selected items
//   probe key HWND VK                      posts a key press to the window's focus
//   probe text HWND                        the window text (WM_GETTEXT)
//   probe dialogs-except HWND              visible dialogs other than this one
// Other files of this folder add more commands (PROBE_COMMAND).
#include "Probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

struct Entry {
    int minArgs;
    ProbeFn fn;
};

std::map<std::string, Entry>& Commands() {
    static std::map<std::string, Entry> commands;
    return commands;
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

DWORD OptionalTimeout(int argc, char** argv, int i) {
    return i < argc ? (DWORD)ParseNum(argv[i]) : 0;
}

} // namespace

// Two files registering one name would leave it to the link order which one
// runs: every run of the probe refuses such a table.
static std::string& DuplicateName() {
    static std::string name;
    return name;
}

ProbeCommand::ProbeCommand(const char* name, int minArgs, ProbeFn fn) {
    if (!Commands().emplace(name, Entry{minArgs, fn}).second)
        DuplicateName() = name;
}

HWND ParseHwnd(const char* s) {
    return (HWND)(UINT_PTR)strtoull(s, nullptr, 0);
}
long long ParseNum(const char* s) {
    return strtoll(s, nullptr, 0);
}
void PrintHwnd(HWND h) {
    printf("%llu\n", (unsigned long long)(UINT_PTR)h);
}

int ProbeFail(const char* what) {
    fprintf(stderr, "probe: %s\n", what);
    return 1;
}

std::string WindowInfo(HWND h) {
    char title[512] = "", cls[256] = "";
    GetWindowTextA(h, title, sizeof title);
    GetClassNameA(h, cls, sizeof cls);
    RECT rc = {};
    GetWindowRect(h, &rc);
    LONG exStyle = GetWindowLongA(h, GWL_EXSTYLE);
    char line[1024];
    snprintf(line, sizeof line,
             "hwnd=%llu visible=%d enabled=%d iconic=%d rect=%ld,%ld,%ld,%ld style=0x%08lx "
             "exstyle=0x%08lx topmost=%d class=%s title=%s",
             (unsigned long long)(UINT_PTR)h, IsWindowVisible(h) ? 1 : 0,
             IsWindowEnabled(h) ? 1 : 0, IsIconic(h) ? 1 : 0, rc.left, rc.top, rc.right, rc.bottom,
             (unsigned long)GetWindowLongA(h, GWL_STYLE), (unsigned long)exStyle,
             (exStyle & WS_EX_TOPMOST) ? 1 : 0, cls, title);
    return line;
}

PROBE_COMMAND(find, "find", 1) {
    HWND h = WaitFor(
        [&] {
            TitleSearch s = {argv[1], 0, nullptr};
            EnumWindows(CountTitle, (LPARAM)&s);
            return s.found;
        },
        OptionalTimeout(argc, argv, 2));
    if (!h)
        return ProbeFail("window not found");
    PrintHwnd(h);
    return 0;
}

PROBE_COMMAND(findclass, "findclass", 1) {
    HWND h = WaitFor([&] { return FindWindowA(argv[1], nullptr); }, OptionalTimeout(argc, argv, 2));
    if (!h)
        return ProbeFail("window not found");
    PrintHwnd(h);
    return 0;
}

PROBE_COMMAND(count_title, "count-title", 1) {
    TitleSearch s = {argv[1], 0, nullptr};
    EnumWindows(CountTitle, (LPARAM)&s);
    printf("%d\n", s.count);
    return 0;
}

PROBE_COMMAND(wait_gone, "wait-gone", 1) {
    HWND h = ParseHwnd(argv[1]);
    HWND gone =
        WaitFor([&] { return IsWindow(h) ? nullptr : (HWND)1; }, OptionalTimeout(argc, argv, 2));
    return gone ? 0 : ProbeFail("window still exists");
}

PROBE_COMMAND(send, "send", 4) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(ParseHwnd(argv[1]), (UINT)ParseNum(argv[2]), (WPARAM)ParseNum(argv[3]),
                             (LPARAM)ParseNum(argv[4]), SMTO_ABORTIFHUNG, 5000, &result))
        return ProbeFail("SendMessage timed out");
    printf("%lld\n", (long long)(LONG_PTR)result);
    return 0;
}

PROBE_COMMAND(post, "post", 4) {
    BOOL ok = PostMessageA(ParseHwnd(argv[1]), (UINT)ParseNum(argv[2]), (WPARAM)ParseNum(argv[3]),
                           (LPARAM)ParseNum(argv[4]));
    return ok ? 0 : ProbeFail("PostMessage failed");
}

PROBE_COMMAND(item, "item", 2) {
    HWND h = GetDlgItem(ParseHwnd(argv[1]), (int)ParseNum(argv[2]));
    if (!h)
        return ProbeFail("no such control");
    PrintHwnd(h);
    return 0;
}

PROBE_COMMAND(info, "info", 1) {
    HWND h = ParseHwnd(argv[1]);
    if (!IsWindow(h))
        return ProbeFail("not a window");
    printf("%s\n", WindowInfo(h).c_str());
    return 0;
}

PROBE_COMMAND(windows, "windows", 0) {
    EnumWindows(PrintWindowLine, 0);
    return 0;
}

PROBE_COMMAND(list_select, "list-select", 1) {
    HWND h = ParseHwnd(argv[1]);
    for (int i = 2; i < argc; ++i)
        if (SendMessageA(h, LB_SETSEL, TRUE, (LPARAM)ParseNum(argv[i])) == LB_ERR)
            return ProbeFail("LB_SETSEL failed");
    return 0;
}

PROBE_COMMAND(list_selected, "list-selected", 1) {
    HWND h = ParseHwnd(argv[1]);
    int n = (int)SendMessageA(h, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if (SendMessageA(h, LB_GETSEL, i, 0) > 0)
            printf("%d\n", i);
    return 0;
}

PROBE_COMMAND(key, "key", 2) {
    HWND h = ParseHwnd(argv[1]);
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gti);
    HWND target = gti.hwndFocus ? gti.hwndFocus : h;
    WPARAM vk = (WPARAM)ParseNum(argv[2]);
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, (LPARAM)0xC0000001);
    return 0;
}

int main(int argc, char** argv) {
    int rc = 1;
    auto it = argc >= 2 ? Commands().find(argv[1]) : Commands().end();
    if (!DuplicateName().empty())
        rc = ProbeFail(("command registered twice: " + DuplicateName()).c_str());
    else if (it == Commands().end())
        rc = ProbeFail("unknown command");
    else if (argc - 2 < it->second.minArgs)
        rc = ProbeFail("missing arguments");
    else
        rc = it->second.fn(argc - 1, argv + 1);
    fflush(stdout);
    return rc;
}

PROBE_COMMAND(text, "text", 1) {
    char text[1024] = "";
    SendMessageTimeoutA(ParseHwnd(argv[1]), WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                        5000, nullptr);
    printf("%s\n", text);
    return 0;
}

namespace {
BOOL CALLBACK PrintDialog(HWND h, LPARAM lp) {
    char cls[64] = "";
    GetClassNameA(h, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(h) && h != (HWND)lp)
        PrintHwnd(h);
    return TRUE;
}
} // namespace

// Visible dialogs other than the given one (for example a modal box).
PROBE_COMMAND(dialogs_except, "dialogs-except", 1) {
    EnumWindows(PrintDialog, (LPARAM)ParseHwnd(argv[1]));
    return 0;
}
