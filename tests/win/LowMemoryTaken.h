// The address space below 2 GB taken while it lives, so that whatever is
// allocated meanwhile lies above it: how a large-address-aware 32-bit program
// runs once its lower half is used up (a pointer read as signed, or compared
// or offset as a signed int, breaks there).
#pragma once
#include <windows.h>

#include <vector>

class LowMemoryTaken {
  public:
    static constexpr ULONG_PTR kTwoGb = 0x80000000u;

    LowMemoryTaken() {
        m_ranges.reserve(4096);
        SYSTEM_INFO si;
        ::GetSystemInfo(&si);
        const ULONG_PTR nGrain = si.dwAllocationGranularity;
        ULONG_PTR at = reinterpret_cast<ULONG_PTR>(si.lpMinimumApplicationAddress);
        MEMORY_BASIC_INFORMATION mbi;
        while (at < kTwoGb && ::VirtualQuery(reinterpret_cast<void*>(at), &mbi, sizeof mbi)) {
            const ULONG_PTR end = reinterpret_cast<ULONG_PTR>(mbi.BaseAddress) + mbi.RegionSize;
            const ULONG_PTR from = (at + nGrain - 1) / nGrain * nGrain;
            const ULONG_PTR to = end < kTwoGb ? end : kTwoGb;
            if (mbi.State == MEM_FREE && to > from)
                Take(from, to - from);
            at = end;
        }
    }
    ~LowMemoryTaken() {
        for (void* p : m_ranges)
            ::VirtualFree(p, 0, MEM_RELEASE);
    }
    LowMemoryTaken(const LowMemoryTaken&) = delete;
    LowMemoryTaken& operator=(const LowMemoryTaken&) = delete;

    ULONG_PTR Bytes() const { return m_nBytes; }
    static bool Above(const void* p) { return reinterpret_cast<ULONG_PTR>(p) >= kTwoGb; }

  private:
    void Take(ULONG_PTR at, ULONG_PTR nBytes) {
        if (void* p =
                ::VirtualAlloc(reinterpret_cast<void*>(at), nBytes, MEM_RESERVE, PAGE_NOACCESS)) {
            m_ranges.push_back(p);
            m_nBytes += nBytes;
        }
    }
    std::vector<void*> m_ranges;
    ULONG_PTR m_nBytes = 0;
};
