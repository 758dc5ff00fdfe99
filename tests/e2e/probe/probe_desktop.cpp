// Probe commands of the compositor stand-in tests.
#include "Probe.h"

#include <cstdio>

// dwm-answers DLL HWND: what the dwmapi.dll at path DLL answers for the
// window: "composition=0|1 cloaked=N frame=l,t,r,b" (an attribute whose call
// fails shows its HRESULT instead).
PROBE_COMMAND(dwm_answers, "dwm-answers", 2) {
    typedef HRESULT(WINAPI * PFN_ENABLED)(BOOL*);
    typedef HRESULT(WINAPI * PFN_ATTRIBUTE)(HWND, DWORD, PVOID, DWORD);
    HMODULE hDll = LoadLibraryA(argv[1]);
    if (!hDll)
        return ProbeFail("cannot load the DLL");
    auto pfnEnabled = reinterpret_cast<PFN_ENABLED>(
        reinterpret_cast<void*>(GetProcAddress(hDll, "DwmIsCompositionEnabled")));
    auto pfnAttribute = reinterpret_cast<PFN_ATTRIBUTE>(
        reinterpret_cast<void*>(GetProcAddress(hDll, "DwmGetWindowAttribute")));
    if (!pfnEnabled || !pfnAttribute) {
        FreeLibrary(hDll);
        return ProbeFail("the DLL lacks an export");
    }
    HWND h = ParseHwnd(argv[2]);
    BOOL bEnabled = FALSE;
    pfnEnabled(&bEnabled);
    DWORD dwCloaked = 0;
    RECT rc = {};
    const HRESULT hrCloaked = pfnAttribute(h, 14, &dwCloaked, sizeof dwCloaked);
    const HRESULT hrFrame = pfnAttribute(h, 9, &rc, sizeof rc);
    printf("composition=%d ", bEnabled ? 1 : 0);
    if (SUCCEEDED(hrCloaked))
        printf("cloaked=%lu ", (unsigned long)dwCloaked);
    else
        printf("cloaked=0x%08lx ", (unsigned long)hrCloaked);
    if (SUCCEEDED(hrFrame))
        printf("frame=%ld,%ld,%ld,%ld\n", rc.left, rc.top, rc.right, rc.bottom);
    else
        printf("frame=0x%08lx\n", (unsigned long)hrFrame);
    FreeLibrary(hDll);
    return 0;
}

// first-rect TITLE MS: waits (polling every 20 ms) for a shown window titled
// TITLE and prints its window rectangle as l,t,r,b the moment it is seen.
PROBE_COMMAND(first_rect, "first-rect", 2) {
    HWND h = WaitFor(
        [&] {
            HWND found = FindWindowA(nullptr, argv[1]);
            return found && IsWindowVisible(found) ? found : nullptr;
        },
        (DWORD)ParseNum(argv[2]));
    RECT rc;
    if (!h || !GetWindowRect(h, &rc))
        return ProbeFail("the window was not shown");
    printf("%ld,%ld,%ld,%ld\n", rc.left, rc.top, rc.right, rc.bottom);
    return 0;
}
