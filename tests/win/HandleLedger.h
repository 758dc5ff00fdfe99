// A ledger of the GDI and USER objects that the program's own code creates
// and releases, for tests that must prove nothing leaks. Wine's
// GetGuiResources always answers 0, so the count is kept here instead: the
// test program's import table entries of the creating and releasing calls
// are pointed at counting wrappers (the program links the code under test
// statically, so every call it makes goes through that table).
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ledger {

struct Counts {
    int gdi = 0;     // bitmaps, memory DCs, window and screen DCs
    int windows = 0; // windows made with CreateWindowExA and still alive
    int classes = 0;
    int timers = 0;
    int memory = 0; // GlobalAlloc blocks
    bool operator==(const Counts& o) const {
        return gdi == o.gdi && windows == o.windows && classes == o.classes && timers == o.timers &&
               memory == o.memory;
    }
};

// One UpdateLayeredWindow call: the bitmap selected in the source DC, the
// constant alpha (-1 without a blend function) and the flags.
struct LayeredUpdate {
    HWND hWnd;
    HBITMAP hBitmap;
    int nAlpha;
    DWORD dwFlags;
    DWORD dwTick;
    std::vector<BYTE> pixels; // the section's bytes at the call, when kept
};

struct State {
    CRITICAL_SECTION cs;
    std::map<void*, std::string> gdi;
    std::vector<HWND> windows;
    std::map<std::string, int> classes;
    std::map<std::pair<HWND, UINT_PTR>, int> timers; // live timers and their intervals
    std::map<void*, int> memory;
    std::vector<LayeredUpdate> updates;
    // Mask loads (LoadImageA, and FindResourceA of a bitmap, which the quick
    // mask load on Wine starts with) fail once this many more have been made.
    int nFailAfterLoads = -1;
    int nKillTimerCalls = 0;
    int nFailAfterSections = -1;         // CreateDIBSection likewise
    bool bKeepPixels = false;            // copy each shown section's bytes
    std::vector<std::string> debugLines; // OutputDebugStringA
    std::vector<HWND> quietWindows;      // ShowWindow leaves these alone
    State() { ::InitializeCriticalSection(&cs); }
};

inline State& S() {
    static State s;
    return s;
}

struct Lock {
    Lock() { ::EnterCriticalSection(&S().cs); }
    ~Lock() { ::LeaveCriticalSection(&S().cs); }
};

inline void AddGdi(void* h, const char* kind) {
    if (h) {
        Lock l;
        S().gdi[h] = kind;
    }
}
inline void RemoveGdi(void* h) {
    Lock l;
    S().gdi.erase(h);
}

// The real entry points, kept when the import table is patched.
struct Real {
    decltype(&::CreateDIBSection) CreateDIBSection;
    decltype(&::CreateCompatibleBitmap) CreateCompatibleBitmap;
    decltype(&::CreateCompatibleDC) CreateCompatibleDC;
    decltype(&::DeleteObject) DeleteObject;
    decltype(&::DeleteDC) DeleteDC;
    decltype(&::GetDC) GetDC;
    decltype(&::GetWindowDC) GetWindowDC;
    decltype(&::ReleaseDC) ReleaseDC;
    decltype(&::LoadImageA) LoadImageA;
    decltype(&::FindResourceA) FindResourceA;
    decltype(&::CreateWindowExA) CreateWindowExA;
    decltype(&::RegisterClassA) RegisterClassA;
    decltype(&::UnregisterClassA) UnregisterClassA;
    decltype(&::SetTimer) SetTimer;
    decltype(&::KillTimer) KillTimer;
    decltype(&::GlobalAlloc) GlobalAlloc;
    decltype(&::GlobalFree) GlobalFree;
    decltype(&::UpdateLayeredWindow) UpdateLayeredWindow;
    decltype(&::OutputDebugStringA) OutputDebugStringA;
    decltype(&::ShowWindow) ShowWindow;
    decltype(&::ShowWindowAsync) ShowWindowAsync;
};
inline Real& R() {
    static Real r;
    return r;
}

inline HBITMAP WINAPI HookCreateDIBSection(HDC a, const BITMAPINFO* b, UINT c, void** d, HANDLE e,
                                           DWORD f) {
    {
        Lock l;
        if (S().nFailAfterSections == 0)
            return nullptr;
        if (S().nFailAfterSections > 0)
            --S().nFailAfterSections;
    }
    HBITMAP h = R().CreateDIBSection(a, b, c, d, e, f);
    AddGdi(h, "dibsection");
    return h;
}
inline HBITMAP WINAPI HookCreateCompatibleBitmap(HDC a, int b, int c) {
    HBITMAP h = R().CreateCompatibleBitmap(a, b, c);
    AddGdi(h, "bitmap");
    return h;
}
inline HDC WINAPI HookCreateCompatibleDC(HDC a) {
    HDC h = R().CreateCompatibleDC(a);
    AddGdi(h, "memdc");
    return h;
}
inline BOOL WINAPI HookDeleteObject(HGDIOBJ h) {
    RemoveGdi(h);
    return R().DeleteObject(h);
}
inline BOOL WINAPI HookDeleteDC(HDC h) {
    RemoveGdi(h);
    return R().DeleteDC(h);
}
inline HDC WINAPI HookGetDC(HWND w) {
    HDC h = R().GetDC(w);
    AddGdi(h, "dc");
    return h;
}
inline HDC WINAPI HookGetWindowDC(HWND w) {
    HDC h = R().GetWindowDC(w);
    AddGdi(h, "windowdc");
    return h;
}
inline int WINAPI HookReleaseDC(HWND w, HDC h) {
    RemoveGdi(h);
    return R().ReleaseDC(w, h);
}
inline HANDLE WINAPI HookLoadImageA(HINSTANCE a, LPCSTR b, UINT c, int d, int e, UINT f) {
    {
        Lock l;
        if (S().nFailAfterLoads == 0)
            return nullptr;
        if (S().nFailAfterLoads > 0)
            --S().nFailAfterLoads;
    }
    HANDLE h = R().LoadImageA(a, b, c, d, e, f);
    if (c == IMAGE_BITMAP)
        AddGdi(h, "loaded");
    return h;
}
inline HRSRC WINAPI HookFindResourceA(HMODULE a, LPCSTR b, LPCSTR c) {
    if (c == MAKEINTRESOURCEA(2)) { // a bitmap
        Lock l;
        if (S().nFailAfterLoads == 0)
            return nullptr;
        if (S().nFailAfterLoads > 0)
            --S().nFailAfterLoads;
    }
    return R().FindResourceA(a, b, c);
}
inline HWND WINAPI HookCreateWindowExA(DWORD a, LPCSTR b, LPCSTR c, DWORD d, int e, int f, int g,
                                       int hh, HWND i, HMENU j, HINSTANCE k, LPVOID m) {
    HWND h = R().CreateWindowExA(a, b, c, d, e, f, g, hh, i, j, k, m);
    if (h) {
        Lock l;
        S().windows.push_back(h);
    }
    return h;
}
inline ATOM WINAPI HookRegisterClassA(const WNDCLASSA* wc) {
    ATOM a = R().RegisterClassA(wc);
    if (a && !IS_INTRESOURCE(wc->lpszClassName)) {
        Lock l;
        ++S().classes[wc->lpszClassName];
    }
    return a;
}
inline BOOL WINAPI HookUnregisterClassA(LPCSTR name, HINSTANCE inst) {
    BOOL b = R().UnregisterClassA(name, inst);
    if (b && !IS_INTRESOURCE(name)) {
        Lock l;
        if (--S().classes[name] <= 0)
            S().classes.erase(name);
    }
    return b;
}
inline UINT_PTR WINAPI HookSetTimer(HWND w, UINT_PTR id, UINT ms, TIMERPROC p) {
    UINT_PTR r = R().SetTimer(w, id, ms, p);
    if (r && w) {
        Lock l;
        S().timers[{w, id}] = static_cast<int>(ms);
    }
    return r;
}
inline BOOL WINAPI HookKillTimer(HWND w, UINT_PTR id) {
    {
        Lock l;
        S().timers.erase({w, id});
        ++S().nKillTimerCalls;
    }
    return R().KillTimer(w, id);
}
inline HGLOBAL WINAPI HookGlobalAlloc(UINT f, SIZE_T n) {
    HGLOBAL h = R().GlobalAlloc(f, n);
    if (h) {
        Lock l;
        S().memory[h] = 1;
    }
    return h;
}
inline HGLOBAL WINAPI HookGlobalFree(HGLOBAL h) {
    {
        Lock l;
        S().memory.erase(h);
    }
    return R().GlobalFree(h);
}
inline BOOL WINAPI HookUpdateLayeredWindow(HWND w, HDC d, POINT* p, SIZE* s, HDC src, POINT* ps,
                                           COLORREF k, BLENDFUNCTION* b, DWORD f) {
    {
        Lock l;
        HBITMAP hbm = src ? (HBITMAP)::GetCurrentObject(src, OBJ_BITMAP) : nullptr;
        S().updates.push_back({w, hbm, b ? b->SourceConstantAlpha : -1, f, ::GetTickCount(), {}});
        DIBSECTION ds = {};
        if (S().bKeepPixels && hbm && ::GetObjectA(hbm, sizeof ds, &ds) == sizeof ds &&
            ds.dsBm.bmBits) {
            const BYTE* p = static_cast<const BYTE*>(ds.dsBm.bmBits);
            S().updates.back().pixels.assign(p,
                                             p + size_t(ds.dsBm.bmWidthBytes) * ds.dsBm.bmHeight);
        }
    }
    return R().UpdateLayeredWindow(w, d, p, s, src, ps, k, b, f);
}

inline void WINAPI HookOutputDebugStringA(LPCSTR text) {
    {
        Lock l;
        S().debugLines.push_back(text ? text : "");
    }
    R().OutputDebugStringA(text);
}

inline BOOL WINAPI HookShowWindow(HWND h, int n) {
    {
        Lock l;
        for (HWND q : S().quietWindows)
            if (q == h)
                return TRUE;
    }
    return R().ShowWindow(h, n);
}

inline BOOL WINAPI HookShowWindowAsync(HWND h, int n) {
    {
        Lock l;
        for (HWND q : S().quietWindows)
            if (q == h)
                return TRUE;
    }
    return R().ShowWindowAsync(h, n);
}

// Points the import table entry of the exported function at the hook. A
// function the program does not import is not called by it either, so it
// needs no counting.
inline bool Patch(const char* dll, const char* name, void* hook, void** real) {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    void* target = reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(dll), name));
    if (!target)
        return false;
    *real = target;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
             thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) != target)
                continue;
            DWORD old;
            ::VirtualProtect(&thunk->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            thunk->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
            ::VirtualProtect(&thunk->u1.Function, sizeof(void*), old, &old);
        }
    }
    return true;
}

#define LEDGER_PATCH(dll, fn) ok &= Patch(dll, #fn, (void*)&Hook##fn, (void**)&R().fn)

// Installs the counting wrappers once; false if an entry was not found.
inline bool Install() {
    static bool done = false, ok = true;
    if (done)
        return ok;
    done = true;
    LEDGER_PATCH("gdi32.dll", CreateDIBSection);
    LEDGER_PATCH("gdi32.dll", CreateCompatibleBitmap);
    LEDGER_PATCH("gdi32.dll", CreateCompatibleDC);
    LEDGER_PATCH("gdi32.dll", DeleteObject);
    LEDGER_PATCH("gdi32.dll", DeleteDC);
    LEDGER_PATCH("user32.dll", GetDC);
    LEDGER_PATCH("user32.dll", GetWindowDC);
    LEDGER_PATCH("user32.dll", ReleaseDC);
    LEDGER_PATCH("user32.dll", LoadImageA);
    LEDGER_PATCH("kernel32.dll", FindResourceA);
    LEDGER_PATCH("user32.dll", CreateWindowExA);
    LEDGER_PATCH("user32.dll", RegisterClassA);
    LEDGER_PATCH("user32.dll", UnregisterClassA);
    LEDGER_PATCH("user32.dll", SetTimer);
    LEDGER_PATCH("user32.dll", KillTimer);
    LEDGER_PATCH("kernel32.dll", GlobalAlloc);
    LEDGER_PATCH("kernel32.dll", GlobalFree);
    LEDGER_PATCH("user32.dll", UpdateLayeredWindow);
    LEDGER_PATCH("kernel32.dll", OutputDebugStringA);
    LEDGER_PATCH("user32.dll", ShowWindow);
    LEDGER_PATCH("user32.dll", ShowWindowAsync);
    return ok;
}
#undef LEDGER_PATCH

inline Counts Now() {
    Lock l;
    Counts c;
    c.gdi = static_cast<int>(S().gdi.size());
    for (HWND h : S().windows)
        c.windows += ::IsWindow(h) ? 1 : 0;
    c.classes = static_cast<int>(S().classes.size());
    c.timers = static_cast<int>(S().timers.size());
    c.memory = static_cast<int>(S().memory.size());
    return c;
}

inline std::string Describe(const Counts& c) {
    return "gdi " + std::to_string(c.gdi) + ", windows " + std::to_string(c.windows) +
           ", classes " + std::to_string(c.classes) + ", timers " + std::to_string(c.timers) +
           ", memory " + std::to_string(c.memory);
}

inline std::vector<LayeredUpdate> TakeUpdates() {
    Lock l;
    std::vector<LayeredUpdate> v;
    v.swap(S().updates);
    return v;
}

inline std::vector<std::string> TakeDebugLines() {
    Lock l;
    std::vector<std::string> v;
    v.swap(S().debugLines);
    return v;
}

// The interval of a live timer that the code under test set, or -1.
inline int TimerInterval(HWND w, UINT_PTR id) {
    Lock l;
    auto it = S().timers.find({w, id});
    return it == S().timers.end() ? -1 : it->second;
}

inline int KillTimerCalls() {
    Lock l;
    return S().nKillTimerCalls;
}

inline void FailLoadsAfter(int n) {
    Lock l;
    S().nFailAfterLoads = n;
}

// Hiding and minimising a shown window costs Wine about 2 s on a display
// without a window manager; tests that cloak many windows and do not look at
// the targets' state can have ShowWindow skip them.
inline void SetQuietWindows(std::vector<HWND> windows) {
    Lock l;
    S().quietWindows = std::move(windows);
}

// Whether each UpdateLayeredWindow keeps a copy of the section it shows.
inline void KeepShownPixels(bool bKeep) {
    Lock l;
    S().bKeepPixels = bKeep;
}

inline void FailSectionsAfter(int n) {
    Lock l;
    S().nFailAfterSections = n;
}

} // namespace ledger
