// Probe commands for the look and the shell:
//
//   probe menu [TIMEOUT_MS]        the items of the open popup menu, one a line ("-" a separator)
//   probe menu-window [TIMEOUT_MS] hwnd of the open popup menu window
//   probe rgn HWND                 the window region: kind and bounding box
//   probe foreground               hwnd of the foreground window
//   probe jp-glyphs [FACE]         whether the dialogs' Japanese face draws Japanese glyphs
//   probe visible-ms HWND TIMEOUT_MS [post TO MSG WPARAM LPARAM | key TO VK]
//                                  first posts the message (or the key press to TO's
//                                  focus), then watches HWND until it is gone: how long
//                                  it was visible, in ms ("visible MS"; exit code 1 if it
//                                  outlived the time limit)
#include "Probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD TimeoutArg(int argc, char** argv, int index, DWORD fallback) {
    return argc > index ? (DWORD)ParseNum(argv[index]) : fallback;
}

HWND FindPopupMenuWindow(DWORD timeoutMs) {
    return WaitFor(
        [] {
            HWND h = FindWindowA("#32768", nullptr);
            return h && IsWindowVisible(h) ? h : nullptr;
        },
        timeoutMs);
}

// Reads the menu of a popup menu window inside the process that owns it,
// through the hook library, and prints its items, "-" for a separator.
int PrintForeignMenu(HWND hWnd) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    strcpy(slash ? slash + 1 : path, "probe_hook.dll");
    HMODULE hLib = LoadLibraryA(path);
    HOOKPROC proc = hLib ? (HOOKPROC)(void*)GetProcAddress(hLib, "ProbeCallWndProc") : nullptr;
    if (!proc)
        return ProbeFail("probe_hook.dll not loaded");
    HANDLE hMap = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                     "TachyProbeMenuText");
    char* text = hMap ? (char*)MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, 4096) : nullptr;
    if (!text)
        return ProbeFail("no shared section");
    text[0] = 0;
    DWORD thread = GetWindowThreadProcessId(hWnd, nullptr);
    HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, proc, hLib, thread);
    SendMessageTimeoutA(hWnd, RegisterWindowMessageA("TachyProbeReadMenu"), 0, 0, SMTO_ABORTIFHUNG,
                        5000, nullptr);
    if (hHook)
        UnhookWindowsHookEx(hHook);
    int rc = text[0] && text[0] != '!' ? 0 : 1;
    fputs(text[0] ? text : "!no answer\n", rc ? stderr : stdout);
    UnmapViewOfFile(text);
    CloseHandle(hMap);
    return rc;
}

} // namespace

PROBE_COMMAND(menu_window, "menu-window", 0) {
    HWND h = FindPopupMenuWindow(TimeoutArg(argc, argv, 1, 5000));
    if (!h)
        return ProbeFail("no popup menu");
    PrintHwnd(h);
    return 0;
}

// The menu behind a popup menu window: MN_GETHMENU asks the window itself.
PROBE_COMMAND(menu, "menu", 0) {
    HWND h = FindPopupMenuWindow(TimeoutArg(argc, argv, 1, 5000));
    if (!h)
        return ProbeFail("no popup menu");
    return PrintForeignMenu(h);
}

PROBE_COMMAND(rgn, "rgn", 1) {
    HRGN hRgn = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(ParseHwnd(argv[1]), hRgn);
    RECT rc = {};
    GetRgnBox(hRgn, &rc);
    DeleteObject(hRgn);
    const char* names[] = {"error", "null", "simple", "complex"};
    printf("%s %ld,%ld,%ld,%ld\n", kind >= 0 && kind <= 3 ? names[kind] : "?", rc.left, rc.top,
           rc.right, rc.bottom);
    return 0;
}

PROBE_COMMAND(foreground, "foreground", 0) {
    PrintHwnd(GetForegroundWindow());
    return 0;
}

// The dialogs name "ＭＳ Ｐゴシック"; the prefix maps it to an installed Japanese
// font. Prints the face the name resolves to and whether the system-menu
// text has a glyph for every character.
PROBE_COMMAND(jp_glyphs, "jp-glyphs", 0) {
    HDC hDC = GetDC(nullptr);
    wchar_t request[64] = L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF";
    if (argc > 1)
        MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, request, 64);
    HFONT hFont =
        CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, request);
    HGDIOBJ hOld = SelectObject(hDC, hFont);
    wchar_t face[64] = L"";
    GetTextFaceW(hDC, 64, face);
    const wchar_t text[] = L"\x306B\x3064\x3044\x3066"; // について
    WORD glyphs[4] = {};
    GetGlyphIndicesW(hDC, text, 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    int missing = 0;
    for (WORD g : glyphs)
        missing += g == 0xFFFF;
    SelectObject(hDC, hOld);
    DeleteObject(hFont);
    ReleaseDC(nullptr, hDC);
    char utf8[128] = "";
    WideCharToMultiByte(CP_UTF8, 0, face, -1, utf8, sizeof utf8, nullptr, nullptr);
    printf("face=%s missing=%d\n", utf8, missing);
    return 0;
}

PROBE_COMMAND(visible_ms, "visible-ms", 1) {
    HWND h = ParseHwnd(argv[1]);
    const DWORD timeout = TimeoutArg(argc, argv, 2, 10000);
    if (argc > 6 && strcmp(argv[3], "post") == 0) {
        PostMessageA(ParseHwnd(argv[4]), (UINT)ParseNum(argv[5]), (WPARAM)ParseNum(argv[6]),
                     argc > 7 ? (LPARAM)ParseNum(argv[7]) : 0);
    } else if (argc > 5 && strcmp(argv[3], "key") == 0) {
        HWND to = ParseHwnd(argv[4]);
        GUITHREADINFO gti = {};
        gti.cbSize = sizeof gti;
        GetGUIThreadInfo(GetWindowThreadProcessId(to, nullptr), &gti);
        HWND target = gti.hwndFocus ? gti.hwndFocus : to;
        PostMessageA(target, WM_KEYDOWN, (WPARAM)ParseNum(argv[5]), 1);
        PostMessageA(target, WM_KEYUP, (WPARAM)ParseNum(argv[5]), (LPARAM)0xC0000001);
    }
    LARGE_INTEGER f, start, last, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&start);
    last = start;
    double visible = 0;
    bool gone = false;
    for (;;) {
        const bool shown = IsWindowVisible(h) != FALSE;
        QueryPerformanceCounter(&now);
        if (shown)
            visible += (double)(now.QuadPart - last.QuadPart) * 1000.0 / (double)f.QuadPart;
        last = now;
        if (!IsWindow(h)) {
            gone = true;
            break;
        }
        if ((now.QuadPart - start.QuadPart) * 1000 / f.QuadPart >= timeout)
            break;
        Sleep(2);
    }
    printf("visible %d\n", (int)(visible + 0.5));
    return gone ? 0 : ProbeFail("window still exists");
}
