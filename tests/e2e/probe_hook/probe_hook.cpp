// A hook library the probe installs into another process's UI thread, to
// read what only that process can read: under Wine a menu handle means
// nothing outside the process that made it. The probe sends the registered
// message to a window of that thread; the hook, running in that thread,
// writes the menu's items as UTF-8 lines into a named shared section.
#include <windows.h>

#include <cstdio>

#define PROBE_MENU_SECTION "TachyProbeMenuText"
#define PROBE_MENU_BYTES 4096

namespace {

void ReadMenu(HMENU hMenu, char* out, size_t size) {
    size_t used = 0;
    int n = hMenu ? GetMenuItemCount(hMenu) : -1;
    if (n < 0) {
        snprintf(out, size, "!unreadable\n");
        return;
    }
    for (int i = 0; i < n && used + 1 < size; ++i) {
        MENUITEMINFOW mii = {};
        wchar_t text[256] = L"";
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = 256;
        GetMenuItemInfoW(hMenu, (UINT)i, TRUE, &mii);
        char line[512] = "-";
        if (!(mii.fType & MFT_SEPARATOR))
            WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof line, nullptr, nullptr);
        used += (size_t)snprintf(out + used, size - used, "%s\n", line);
    }
}

} // namespace

// The request names a popup menu window; its menu is read.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    ProbeCallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT s_nRequest = RegisterWindowMessageA("TachyProbeReadMenu");
    const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->message == s_nRequest) {
        HANDLE hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, PROBE_MENU_SECTION);
        char* out =
            hMap ? (char*)MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, PROBE_MENU_BYTES) : nullptr;
        if (out) {
            HMENU hMenu = (HMENU)SendMessageA(cwp->hwnd, MN_GETHMENU, 0, 0);
            ReadMenu(hMenu, out, PROBE_MENU_BYTES);
            UnmapViewOfFile(out);
        }
        if (hMap)
            CloseHandle(hMap);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
