#include "effects/CloakMasks.h"

#include "effects/Capture.h"
#include "effects/ComposeKernel.h"
#include "effects/MaskLoad.h"
#include "resource.h"

#include <cstdint>
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

// The live shared sets: at most one a live cloak, and there are at most ten.
const int kMaxSets = 16;

unsigned long long g_nKeptSetLimit = 64ull << 20;

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

CloakMasks::CloakMasks(HINSTANCE hInstance, SIZE size, int nSlots)
    : m_hInstance(hInstance), m_size(size), m_nSlots(nSlots), m_nUsers(1), m_nReservedKilobytes(0),
      m_nSlotBytes(0), m_pBits(nullptr), m_nHeld(), m_colours() {
    for (int& nFrame : m_nHeld)
        nFrame = -1;
}

CloakMasks::~CloakMasks() {
    if (m_pBits)
        ::VirtualFree(m_pBits, 0, MEM_RELEASE);
    ReturnCloakMemory(m_nReservedKilobytes);
}

unsigned long long CloakMasks::KeptSetLimit(unsigned long long nBytes) {
    const unsigned long long nOld = g_nKeptSetLimit;
    g_nKeptSetLimit = nBytes;
    return nOld;
}

int CloakMasks::SlotsFor(SIZE size) {
    if (size.cx <= 0 || size.cy <= 0)
        return 0;
    const unsigned long long nMask = static_cast<unsigned long long>(Dib8Stride(size.cx)) * size.cy;
    return nMask * kCloakFrameCount <= g_nKeptSetLimit ? kCloakFrameCount : 1;
}

unsigned long long CloakMasks::BytesFor(SIZE size) {
    const int nSlots = SlotsFor(size);
    return nSlots ? static_cast<unsigned long long>(Dib8Stride(size.cx)) * size.cy * nSlots : 0;
}

// The slots' memory is committed here, so a step never waits for it; the
// masks are only looked for, except the first frame's, which the first step
// shows and which proves that they scale.
BOOL CloakMasks::Make(MadeFn pfnMade, void* pUser) {
    const unsigned long long nBytes = BytesFor(m_size);
    if (nBytes == 0 || nBytes > SIZE_MAX || !ReserveCloakMemory(nBytes, &m_nReservedKilobytes))
        return FALSE;
    m_nSlotBytes = Dib8Stride(m_size.cx) * static_cast<size_t>(m_size.cy);
    m_pBits = static_cast<BYTE*>(::VirtualAlloc(nullptr, static_cast<SIZE_T>(nBytes),
                                                MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!m_pBits)
        return FALSE;
    for (int i = 0; i < kCloakFrameCount; ++i) {
        // A missing mask means the fade would show nothing there: the cloak
        // is given up rather than animate a hole.
        if (!HaveCloakMask(m_hInstance, IDB_CLOAK_MASK_FIRST + i))
            return FALSE;
        if (pfnMade)
            pfnMade(i + 1, pUser);
    }
    const BYTE* pBits = nullptr;
    const BYTE* pColours = nullptr;
    return Get(kCloakFirstFrame, &pBits, &pColours);
}

BOOL CloakMasks::Get(int nFrame, const BYTE** ppBits, const BYTE** ppColourTable) {
    const int nSlot = m_nSlots == kCloakFrameCount ? nFrame : 0;
    BYTE* pSlot = m_pBits + m_nSlotBytes * nSlot;
    if (m_nHeld[nSlot] != nFrame) {
        TraceReset();
        const BOOL bScaled = ScaleCloakMask(m_hInstance, IDB_CLOAK_MASK_FIRST + nFrame, m_size.cx,
                                            m_size.cy, pSlot, m_colours[nSlot]);
        TraceMark();
        if (!bScaled)
            return FALSE;
        m_nHeld[nSlot] = nFrame;
    }
    *ppBits = pSlot;
    *ppColourTable = reinterpret_cast<const BYTE*>(m_colours[nSlot]);
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
    const int nSlots = SlotsFor(size);
    const BOOL bShared = nSlots == kCloakFrameCount;
    int nFree = -1;
    g_registry.Enter();
    CloakMasks* pMasks = bShared ? FindLive(hInstance, size, &nFree) : nullptr;
    if (pMasks) {
        ++pMasks->m_nUsers;
        for (int i = 1; i <= kCloakFrameCount && pfnMade; ++i)
            pfnMade(i, pUser);
    } else if (nSlots > 0 && (!bShared || nFree >= 0)) {
        pMasks = new (std::nothrow) CloakMasks(hInstance, size, nSlots);
        if (pMasks && !pMasks->Make(pfnMade, pUser)) {
            delete pMasks;
            pMasks = nullptr;
        }
        if (bShared)
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
