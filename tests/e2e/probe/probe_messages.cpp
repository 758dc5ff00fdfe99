// Probe commands that send another program's windows messages it did not ask
// for, to show that none of them makes it call through what they carry.
//
//   probe import-slot HWND NAME   address of the import slot of NAME in the exe
//                                 that owns the window (0 when it has none)
//   probe sweep HWND FIRST LAST [MSG...]
//                                 sends the window and each of its children every
//                                 message FIRST..LAST and each MSG, with
//                                 pointer-like wParam/lParam pairs (among them the
//                                 exe's own import slots of functions that end the
//                                 program); prints "sent N slowest MSG MS" and fails
//                                 when the program is gone afterwards
#include "Probe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

struct Remote {
    HANDLE hProcess = nullptr;
    BYTE* base = nullptr;
    bool Read(const void* addr, void* out, size_t n) const {
        SIZE_T got = 0;
        return ReadProcessMemory(hProcess, addr, out, n, &got) && got == n;
    }
};

// The exe's module is the dialog's instance handle.
bool OpenRemote(HWND hWnd, Remote& r) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    r.hProcess =
        pid ? OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, pid) : nullptr;
    r.base = reinterpret_cast<BYTE*>(GetWindowLongPtrA(GetAncestor(hWnd, GA_ROOT), GWLP_HINSTANCE));
    return r.hProcess && r.base;
}

// Walks the exe's import table in the other process for a function by name.
ULONG_PTR FindImportSlot(const Remote& r, const char* name) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
    if (!r.Read(r.base, &dos, sizeof dos) || !r.Read(r.base + dos.e_lfanew, &nt, sizeof nt))
        return 0;
    const IMAGE_DATA_DIRECTORY& dir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD off = dir.VirtualAddress;; off += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR imp;
        if (!r.Read(r.base + off, &imp, sizeof imp) || !imp.Name)
            return 0;
        const DWORD names = imp.OriginalFirstThunk ? imp.OriginalFirstThunk : imp.FirstThunk;
        for (DWORD i = 0;; ++i) {
            IMAGE_THUNK_DATA thunk;
            if (!r.Read(r.base + names + i * sizeof thunk, &thunk, sizeof thunk) ||
                !thunk.u1.AddressOfData)
                break;
            if (IMAGE_SNAP_BY_ORDINAL(thunk.u1.Ordinal))
                continue;
            char fn[64] = "";
            r.Read(r.base + thunk.u1.AddressOfData + 2, fn, sizeof fn - 1);
            if (strcmp(fn, name) == 0)
                return (ULONG_PTR)(r.base + imp.FirstThunk + i * sizeof thunk);
        }
    }
}

BOOL CALLBACK AddChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

} // namespace

PROBE_COMMAND(import_slot, "import-slot", 2) {
    Remote r;
    if (!OpenRemote(ParseHwnd(argv[1]), r))
        return ProbeFail("cannot read the program");
    printf("%llu\n", (unsigned long long)FindImportSlot(r, argv[2]));
    CloseHandle(r.hProcess);
    return 0;
}

PROBE_COMMAND(sweep, "sweep", 3) {
    HWND hWnd = ParseHwnd(argv[1]);
    const UINT first = (UINT)ParseNum(argv[2]), last = (UINT)ParseNum(argv[3]);
    std::vector<UINT> messages;
    for (UINT m = first; m <= last; ++m)
        messages.push_back(m);
    for (int i = 4; i < argc; ++i)
        messages.push_back((UINT)ParseNum(argv[i]));

    Remote r;
    if (!OpenRemote(hWnd, r))
        return ProbeFail("cannot read the program");
    // Addresses that are valid in the program: import slots of calls that
    // would end it, read as "a record whose first word is the function", and
    // the functions themselves; real windows of the program (none of them an
    // effect's, so no report about them may drop one); plain garbage.
    std::vector<std::pair<ULONG_PTR, ULONG_PTR>> pairs;
    const ULONG_PTR garbage1 = 0x41414140u, garbage2 = 0xDEADBEECu;
    for (const char* name : {"exit", "_exit", "ExitProcess", "abort", "PostQuitMessage"}) {
        if (ULONG_PTR slot = FindImportSlot(r, name)) {
            ULONG_PTR fn = 0;
            r.Read((void*)slot, &fn, sizeof fn);
            pairs.push_back({slot, slot});
            pairs.push_back({garbage1, slot});
            pairs.push_back({slot, fn});
        }
    }
    if (pairs.empty())
        return ProbeFail("no import slot found");
    std::vector<HWND> windows = {hWnd};
    EnumChildWindows(hWnd, AddChild, (LPARAM)&windows);
    const ULONG_PTR other = (ULONG_PTR)windows[windows.size() > 1 ? 1 : 0];
    pairs.push_back({(ULONG_PTR)hWnd, other});
    pairs.push_back({other, (ULONG_PTR)hWnd});
    pairs.push_back({(ULONG_PTR)r.base, garbage2});

    DWORD exitCode = STILL_ACTIVE;
    long long sent = 0;
    DWORD slowest = 0;
    UINT slowestMsg = 0;
    for (HWND h : windows) {
        for (UINT m : messages) {
            for (const auto& p : pairs) {
                const DWORD t0 = GetTickCount();
                DWORD_PTR result = 0;
                SendMessageTimeoutA(h, m, p.first, p.second, SMTO_ABORTIFHUNG, 3000, &result);
                const DWORD took = GetTickCount() - t0;
                if (took > slowest)
                    slowest = took, slowestMsg = m;
                ++sent;
            }
            if (GetExitCodeProcess(r.hProcess, &exitCode) && exitCode != STILL_ACTIVE) {
                printf("gone after message %u to %llu (exit code %lu)\n", m,
                       (unsigned long long)(UINT_PTR)h, exitCode);
                CloseHandle(r.hProcess);
                return 1;
            }
        }
    }
    printf("sent %lld to %u windows slowest %u %lu\n", sent, (unsigned)windows.size(), slowestMsg,
           slowest);
    CloseHandle(r.hProcess);
    return 0;
}
