#include "effects/CloakMasks.h"

#include "effects/ComposeKernel.h"
#include "effects/MaskLoad.h"
#include "resource.h"

#include <new>

namespace {

// All live cloaks together may hold at most this much memory (their
// captures, frames and masks). The 32-bit program (large-address-aware: 4 GB
// of address space on 64-bit Windows, 2 GB on 32-bit Windows) keeps room for
// everything else in the smaller space; the 64-bit program's limit is the
// machine's memory.
#ifdef _WIN64
const unsigned long long kBudgetBytes = 3072ull << 20;
#else
const unsigned long long kBudgetBytes = 1280ull << 20;
#endif

// The memory that the live cloaks hold, in kilobytes (a LONG holds 2 TB).
volatile LONG g_nKilobytesHeld = 0;

// The live sets: at most one a live cloak, and there are at most ten.
const int kMaxSets = 16;

class MaskRegistry {
  public:
    MaskRegistry() : m_sets() { ::InitializeCriticalSection(&m_cs); }
    ~MaskRegistry() { ::DeleteCriticalSection(&m_cs); }
    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }
    CloakMasks* m_sets[kMaxSets];

  private:
    CRITICAL_SECTION m_cs;
};
MaskRegistry g_registry;

} // namespace

LONG Kilobytes(unsigned long long nBytes) {
    return static_cast<LONG>((nBytes + 1023) / 1024);
}

BOOL ReserveCloakMemory(unsigned long long nBytes, LONG* pnKilobytes) {
    if (nBytes > kBudgetBytes)
        return FALSE;
    const LONG nNeeded = Kilobytes(nBytes);
    for (;;) {
        const LONG nHeld = g_nKilobytesHeld;
        if (nHeld + nNeeded > Kilobytes(kBudgetBytes))
            return FALSE;
        if (::InterlockedCompareExchange(&g_nKilobytesHeld, nHeld + nNeeded, nHeld) == nHeld)
            break;
    }
    *pnKilobytes = nNeeded;
    return TRUE;
}

void ReturnCloakMemory(LONG nKilobytes) {
    ::InterlockedExchangeAdd(&g_nKilobytesHeld, -nKilobytes);
}

CloakMasks::CloakMasks(HINSTANCE hInstance, SIZE size)
    : m_hInstance(hInstance), m_size(size), m_nUsers(1), m_nReservedKilobytes(0), m_hMasks() {}

CloakMasks::~CloakMasks() {
    for (HBITMAP hMask : m_hMasks)
        if (hMask)
            ::DeleteObject(hMask);
    ReturnCloakMemory(m_nReservedKilobytes);
}

unsigned long long CloakMasks::BytesFor(SIZE size) {
    if (size.cx <= 0 || size.cy <= 0)
        return 0;
    return static_cast<unsigned long long>(Dib8Stride(size.cx)) * size.cy * kCloakFrameCount;
}

BOOL CloakMasks::Make(MadeFn pfnMade, void* pUser) {
    if (!ReserveCloakMemory(BytesFor(m_size), &m_nReservedKilobytes))
        return FALSE;
    for (int i = 0; i < kCloakFrameCount; ++i) {
        TraceReset();
        m_hMasks[i] = LoadCloakMask(m_hInstance, IDB_CLOAK_MASK_FIRST + i, m_size.cx, m_size.cy);
        TraceMark();
        // A mask short means the fade would show nothing there: the cloak
        // is given up rather than animate a hole.
        if (!m_hMasks[i] || !m_pixels[i].Read(m_hMasks[i], m_size.cx, m_size.cy))
            return FALSE;
        TraceMark();
        if (pfnMade)
            pfnMade(i + 1, pUser);
    }
    return TRUE;
}

// The registry's lock is held by the caller.
CloakMasks* CloakMasks::FindLive(HINSTANCE hInstance, SIZE size, int* pnFree) {
    *pnFree = -1;
    for (int i = 0; i < kMaxSets; ++i) {
        CloakMasks* pSet = g_registry.m_sets[i];
        if (pSet && pSet->m_hInstance == hInstance && pSet->m_size.cx == size.cx &&
            pSet->m_size.cy == size.cy)
            return pSet;
        if (!pSet && *pnFree < 0)
            *pnFree = i;
    }
    return nullptr;
}

BOOL CloakMasks::IsLive(HINSTANCE hInstance, SIZE size) {
    int nFree = -1;
    g_registry.Enter();
    const BOOL bLive = FindLive(hInstance, size, &nFree) != nullptr;
    g_registry.Leave();
    return bLive;
}

CloakMasks* CloakMasks::Acquire(HINSTANCE hInstance, SIZE size, MadeFn pfnMade, void* pUser) {
    int nFree = -1;
    g_registry.Enter();
    CloakMasks* pMasks = FindLive(hInstance, size, &nFree);
    if (pMasks) {
        ++pMasks->m_nUsers;
        for (int i = 1; i <= kCloakFrameCount && pfnMade; ++i)
            pfnMade(i, pUser);
    } else if (nFree >= 0) {
        pMasks = new (std::nothrow) CloakMasks(hInstance, size);
        if (pMasks && !pMasks->Make(pfnMade, pUser)) {
            delete pMasks;
            pMasks = nullptr;
        }
        g_registry.m_sets[nFree] = pMasks;
    }
    g_registry.Leave();
    return pMasks;
}

void CloakMasks::Release(CloakMasks* pMasks) {
    if (!pMasks)
        return;
    g_registry.Enter();
    if (--pMasks->m_nUsers == 0) {
        for (CloakMasks*& pSet : g_registry.m_sets)
            if (pSet == pMasks)
                pSet = nullptr;
        delete pMasks;
    }
    g_registry.Leave();
}
