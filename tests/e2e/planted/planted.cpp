// A DLL that leaves a mark when it is loaded: copied beside the program under
// the name of a system DLL, as a site could leave one in a download folder,
// it shows whether the program took it in place of the system's. The mark is
// an empty file beside it, named as the DLL with ".loaded" added.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    char szMark[MAX_PATH + 8];
    const DWORD cch = ::GetModuleFileNameA(hInstance, szMark, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH)
        return TRUE;
    ::lstrcpyA(szMark + cch, ".loaded");
    HANDLE hFile = ::CreateFileA(szMark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    return TRUE;
}
