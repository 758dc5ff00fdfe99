#include "windowlist/ClassIcon.h"

#include "framework/AfxSystemDll.h"

#include <shellapi.h>

#ifndef PROCESS_QUERY_LIMITED_INFORMATION
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#endif

namespace {

typedef BOOL(WINAPI* PFN_QUERYIMAGENAME)(HANDLE, DWORD, LPSTR, PDWORD);
typedef DWORD(WINAPI* PFN_MODULEFILENAMEEX)(HANDLE, HMODULE, LPSTR, DWORD);

// Looked up at run time: Windows 2000 and XP do not have it.
PFN_QUERYIMAGENAME QueryImageNameFn() {
    static const PFN_QUERYIMAGENAME pfn =
        reinterpret_cast<PFN_QUERYIMAGENAME>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    return pfn;
}

BOOL ImageNameByQuery(DWORD dwProcessId, char* pszPath, DWORD cchPath) {
    PFN_QUERYIMAGENAME pfn = QueryImageNameFn();
    if (!pfn)
        return FALSE;
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (!hProcess)
        return FALSE;
    DWORD cch = cchPath;
    BOOL bOk = pfn(hProcess, 0, pszPath, &cch);
    ::CloseHandle(hProcess);
    return bOk;
}

// psapi.dll is not among the known DLLs of Windows 2000 and XP, the systems
// that need it here: loaded from the system directory only.
PFN_MODULEFILENAMEEX LookUpModuleFileName() {
    HMODULE hPsapi = AfxLoadSystemLibrary("psapi.dll");
    return hPsapi ? reinterpret_cast<PFN_MODULEFILENAMEEX>(
                        reinterpret_cast<void*>(::GetProcAddress(hPsapi, "GetModuleFileNameExA")))
                  : nullptr;
}

PFN_MODULEFILENAMEEX ModuleFileNameFn() {
    static const PFN_MODULEFILENAMEEX pfn = LookUpModuleFileName();
    return pfn;
}

// The older way, which needs more access rights to the process.
BOOL ImageNameByModule(DWORD dwProcessId, char* pszPath, DWORD cchPath) {
    PFN_MODULEFILENAMEEX pfn = ModuleFileNameFn();
    if (!pfn)
        return FALSE;
    HANDLE hProcess =
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcessId);
    if (!hProcess)
        return FALSE;
    DWORD cch = pfn(hProcess, nullptr, pszPath, cchPath);
    ::CloseHandle(hProcess);
    return cch > 0 && cch < cchPath;
}

} // namespace

HICON GetProgramFileIcon(DWORD dwProcessId) {
    char szPath[MAX_PATH] = "";
    if (!ImageNameByQuery(dwProcessId, szPath, MAX_PATH) &&
        !ImageNameByModule(dwProcessId, szPath, MAX_PATH))
        return nullptr;
    HICON hLarge = nullptr;
    if (::ExtractIconExA(szPath, 0, &hLarge, nullptr, 1) == 0)
        return nullptr;
    return hLarge;
}

BOOL GetListIcon(HWND hWnd, ListIcon* pIcon) {
    pIcon->hIcon = nullptr;
    pIcon->bOwned = FALSE;
    ::SetLastError(0);
    HICON hIcon = reinterpret_cast<HICON>(::GetClassLongPtrA(hWnd, GCLP_HICON));
    if (hIcon) {
        pIcon->hIcon = hIcon;
        return TRUE;
    }
    // A plain 0 means the class has no icon.
    if (::GetLastError() == 0)
        return FALSE;
    // The question failed. A window that has gone meanwhile is not listed;
    // for any other the system simply could not say.
    DWORD dwProcessId = 0;
    if (!::GetWindowThreadProcessId(hWnd, &dwProcessId) || !dwProcessId)
        return FALSE;
    if (HICON hFileIcon = GetProgramFileIcon(dwProcessId)) {
        pIcon->hIcon = hFileIcon;
        pIcon->bOwned = TRUE;
        return TRUE;
    }
    pIcon->hIcon = ::LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION); // shared: never destroyed
    return pIcon->hIcon != nullptr;
}

void ReleaseListIcon(ListIcon* pIcon) {
    if (pIcon->hIcon && pIcon->bOwned)
        ::DestroyIcon(pIcon->hIcon);
    pIcon->hIcon = nullptr;
    pIcon->bOwned = FALSE;
}
