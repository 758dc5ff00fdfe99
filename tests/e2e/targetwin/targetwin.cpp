// targetwin: opens the target windows an end-to-end test wants, then runs
// until its windows are closed or it is killed.
//
//   targetwin [SPEC]...  with SPEC a comma-separated list of key=value:
//     title=TEXT   x=N y=N w=N h=N   color=RRGGBB   noicon   hidden   count=N
//     picture      (a colourful pattern instead of the plain colour, so that
//                   an effect on the window shows in a recording)
//   count=N opens N windows titled "TEXT 1" .. "TEXT N", cascaded.
//   popup        a window without caption or frame (any size, even 1 x 1)
//   cloaked[=N]  the stand-in dwmapi.dll reports the window cloaked (reason N,
//                default 2, "by the shell")
//   inset=L:T:R:B  the stand-in reports its visible frame as the window
//                rectangle shrunk by these pixels, as a resize border would
//   An argument "hang=MS" makes the program stop answering messages after MS ms;
//   "exit=MS" ends it after MS ms; "minimize=MS" minimises its windows after
//   MS ms. Windows may be larger than the screen (w=4000,h=3000).
//   "busyhide=MS": answers everything until one of its windows is first
//   hidden, then stays busy for MS ms inside that WM_SHOWWINDOW, as a program
//   that goes busy for a while does.
//   "pingsend=MSG:WPARAM:LPARAM:ITEM": the first time each window is asked
//   whether it answers (a WM_NULL sent to it), it first sends MSG to the
//   Tachyrama dialog (to its control ITEM unless 0) and waits for the answer,
//   as an automation tool might; numbers in C notation (0x.. for hex).
#include <windows.h>

#include "../dwmstandin/StandinProps.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kIconClass[] = "TachyTargetWindow";
const char kNoIconClass[] = "TachyTargetNoIcon";
const char kPictureProp[] = "TachyTargetPicture";
// What the stand-in dwmapi.dll reads: cloak reason, then the frame's insets.
const char* const kStandinProps[] = {TACHY_DWM_CLOAKED, TACHY_DWM_INSET_LEFT, TACHY_DWM_INSET_TOP,
                                     TACHY_DWM_INSET_RIGHT, TACHY_DWM_INSET_BOTTOM};
int g_nOpen = 0;
DWORD g_busyHideMs = 0;
const char kPingedProp[] = "TachyTargetPinged";
struct PingSend {
    UINT msg = 0;
    WPARAM wp = 0;
    LPARAM lp = 0;
    int item = 0;
} g_pingSend;

void SendOnFirstPing(HWND h) {
    if (!g_pingSend.msg || GetPropA(h, kPingedProp))
        return;
    SetPropA(h, kPingedProp, (HANDLE)1);
    HWND to = FindWindowA("#32770", "Tachyrama");
    if (to && g_pingSend.item)
        to = GetDlgItem(to, g_pingSend.item);
    DWORD_PTR result = 0;
    if (to)
        SendMessageTimeoutA(to, g_pingSend.msg, g_pingSend.wp, g_pingSend.lp, SMTO_NORMAL, 10000,
                            &result);
}

// A hue sweep from left to right darkening downwards, crossed by rings and a
// light grid: every part of the window differs from its neighbours, so a
// mask or a morph applied to it is easy to follow by eye.
void PaintPicture(HDC dc, const RECT& rc) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    const int kBand = 8;
    for (int y = 0; y < h; y += kBand)
        for (int x = 0; x < w; x += kBand) {
            const int hue = x * 6 * 256 / (w > 0 ? w : 1), seg = hue / 256, f = hue % 256;
            int r = 0, g = 0, b = 0;
            switch (seg) {
            case 0:
                r = 255, g = f;
                break;
            case 1:
                r = 255 - f, g = 255;
                break;
            case 2:
                g = 255, b = f;
                break;
            case 3:
                g = 255 - f, b = 255;
                break;
            case 4:
                r = f, b = 255;
                break;
            default:
                r = 255, b = 255 - f;
                break;
            }
            const int shade = 255 - y * 160 / (h > 0 ? h : 1);
            RECT cell = {x, y, x + kBand, y + kBand};
            HBRUSH br = CreateSolidBrush(RGB(r * shade / 255, g * shade / 255, b * shade / 255));
            FillRect(dc, &cell, br);
            DeleteObject(br);
        }
    HPEN grid = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(dc, grid);
    for (int x = 0; x < w; x += 32) {
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, h);
    }
    for (int y = 0; y < h; y += 32) {
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, w, y);
    }
    HPEN ring = CreatePen(PS_SOLID, 6, RGB(20, 20, 40));
    SelectObject(dc, ring);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    for (int r = 20; r < (w < h ? w : h) / 2; r += 28)
        Ellipse(dc, w / 2 - r, h / 2 - r, w / 2 + r, h / 2 + r);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(ring);
    DeleteObject(grid);
}

LRESULT CALLBACK TargetProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT rc;
        GetClientRect(h, &rc);
        if (GetPropA(h, kPictureProp)) {
            PaintPicture(dc, rc);
            SetTextColor(dc, RGB(255, 255, 255));
        } else {
            HBRUSH br = CreateSolidBrush((COLORREF)GetWindowLongPtrA(h, GWLP_USERDATA));
            FillRect(dc, &rc, br);
            DeleteObject(br);
        }
        char title[256];
        GetWindowTextA(h, title, sizeof title);
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, title, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_GETMINMAXINFO: { // any size the test asks for, 1 x 1 to beyond the screen
        DefWindowProcA(h, msg, wp, lp);
        MINMAXINFO* mmi = reinterpret_cast<MINMAXINFO*>(lp);
        mmi->ptMinTrackSize = {1, 1};
        mmi->ptMaxTrackSize = {8000, 8000};
        return 0;
    }
    case WM_SHOWWINDOW:
        if (!wp && g_busyHideMs) {
            const DWORD ms = g_busyHideMs;
            g_busyHideMs = 0;
            Sleep(ms);
        }
        break;
    case WM_NULL:
        if (InSendMessage())
            SendOnFirstPing(h);
        return 0;
    case WM_DESTROY:
        RemovePropA(h, kPictureProp);
        RemovePropA(h, kPingedProp);
        for (const char* name : kStandinProps)
            RemovePropA(h, name);
        if (--g_nOpen == 0)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

void Register(const char* name, HICON icon) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

struct WindowDesc {
    std::string title = "Target";
    int x = 40, y = 40, w = 320, h = 240, count = 0;
    int cloaked = 0, inset[4] = {0, 0, 0, 0};
    COLORREF color = RGB(40, 120, 200);
    bool noicon = false, hidden = false, popup = false, picture = false;
};

WindowDesc Parse(const char* text) {
    WindowDesc s;
    std::string all = text;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(',', pos);
        if (end == std::string::npos)
            end = all.size();
        std::string kv = all.substr(pos, end - pos);
        size_t eq = kv.find('=');
        std::string k = kv.substr(0, eq), v = eq == std::string::npos ? "" : kv.substr(eq + 1);
        int n = atoi(v.c_str());
        if (k == "title")
            s.title = v;
        else if (k == "x")
            s.x = n;
        else if (k == "y")
            s.y = n;
        else if (k == "w")
            s.w = n;
        else if (k == "h")
            s.h = n;
        else if (k == "count")
            s.count = n;
        else if (k == "noicon")
            s.noicon = true;
        else if (k == "hidden")
            s.hidden = true;
        else if (k == "popup")
            s.popup = true;
        else if (k == "picture")
            s.picture = true;
        else if (k == "cloaked")
            s.cloaked = v.empty() ? 2 : n;
        else if (k == "inset")
            sscanf(v.c_str(), "%d:%d:%d:%d", &s.inset[0], &s.inset[1], &s.inset[2], &s.inset[3]);
        else if (k == "color") {
            unsigned long c = strtoul(v.c_str(), nullptr, 16);
            s.color = RGB((c >> 16) & 255, (c >> 8) & 255, c & 255);
        }
        pos = end + 1;
    }
    return s;
}

void SetStandinProps(HWND h, const WindowDesc& s) {
    const int values[] = {s.cloaked, s.inset[0], s.inset[1], s.inset[2], s.inset[3]};
    for (int i = 0; i < 5; ++i)
        if (values[i])
            SetPropA(h, kStandinProps[i], (HANDLE)(LONG_PTR)values[i]);
}

void Open(const WindowDesc& s, const std::string& title, int x, int y) {
    HWND h = CreateWindowExA(0, s.noicon ? kNoIconClass : kIconClass, title.c_str(),
                             s.popup ? WS_POPUP : WS_OVERLAPPEDWINDOW, x, y, s.w, s.h, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!h)
        return;
    ++g_nOpen;
    SetWindowLongPtrA(h, GWLP_USERDATA, (LONG_PTR)s.color);
    if (s.picture)
        SetPropA(h, kPictureProp, (HANDLE)1);
    SetStandinProps(h, s);
    if (!s.hidden)
        ShowWindow(h, SW_SHOWNOACTIVATE);
    UpdateWindow(h);
}

BOOL CALLBACK MinimizeOne(HWND h, LPARAM) {
    ShowWindow(h, SW_MINIMIZE);
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    Register(kIconClass, LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION));
    Register(kNoIconClass, nullptr);
    DWORD hangAfter = 0, exitAfter = 0, minimizeAfter = 0;
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "hang=", 5) == 0) {
            hangAfter = (DWORD)atoi(argv[i] + 5);
            continue;
        }
        if (strncmp(argv[i], "pingsend=", 9) == 0) {
            char* p = argv[i] + 9;
            g_pingSend.msg = (UINT)strtoul(p, &p, 0);
            g_pingSend.wp = (WPARAM)strtoull(*p ? p + 1 : p, &p, 0);
            g_pingSend.lp = (LPARAM)strtoll(*p ? p + 1 : p, &p, 0);
            g_pingSend.item = (int)strtol(*p ? p + 1 : p, &p, 0);
            continue;
        }
        if (strncmp(argv[i], "busyhide=", 9) == 0) {
            g_busyHideMs = (DWORD)atoi(argv[i] + 9);
            continue;
        }
        if (strncmp(argv[i], "minimize=", 9) == 0) {
            minimizeAfter = (DWORD)atoi(argv[i] + 9);
            continue;
        }
        if (strncmp(argv[i], "exit=", 5) == 0) {
            exitAfter = (DWORD)atoi(argv[i] + 5);
            continue;
        }
        WindowDesc s = Parse(argv[i]);
        if (s.count == 0) {
            Open(s, s.title, s.x, s.y);
            continue;
        }
        for (int k = 0; k < s.count; ++k)
            Open(s, s.title + " " + std::to_string(k + 1), s.x + (k % 20) * 8, s.y + (k % 20) * 8);
    }
    if (g_nOpen == 0)
        return 1;
    DWORD start = GetTickCount();
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return 0;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (hangAfter && elapsed >= hangAfter)
            for (;;)
                Sleep(1000); // stops answering messages for good
        if (exitAfter && elapsed >= exitAfter)
            return 0;
        if (minimizeAfter && elapsed >= minimizeAfter) {
            minimizeAfter = 0;
            EnumThreadWindows(GetCurrentThreadId(), MinimizeOne, 0);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}
