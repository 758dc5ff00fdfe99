// The cloak's 15 masks at a window's size, one byte a pixel, each scaled
// when a step first shows it. A set of up to KeptSetLimit bytes keeps every
// mask once scaled and is shared by all live cloaks of its size, so that
// their steps scale nothing more; a larger one belongs to one cloak and
// holds the one mask on show, scaled anew each step. Also the memory budget
// that all live cloaks share. UI thread as a rule; the registry is locked
// anyway.
#pragma once
#include <windows.h>

#include "effects/CloakFade.h"

// Takes nBytes of the budget of all live cloaks; FALSE, taking nothing, when
// they do not fit. *pnKilobytes receives what ReturnCloakMemory gives back.
BOOL ReserveCloakMemory(unsigned long long nBytes, LONG* pnKilobytes);
void ReturnCloakMemory(LONG nKilobytes);
// The kilobytes that a reservation of nBytes takes.
LONG Kilobytes(unsigned long long nBytes);

class CloakMasks {
  public:
    // Called after each mask of a new set is found, with 1 to 15; a shared
    // set reports all 15 at once.
    typedef void (*MadeFn)(int nDone, void* pUser);

    // The masks of that size from that module: a live shared set, or one made
    // now, which holds the first frame's mask scaled. Null when a mask is
    // missing, the first cannot be scaled, or the set does not fit the
    // budget or memory. Every set acquired is released once.
    static CloakMasks* Acquire(HINSTANCE hInstance, SIZE size, MadeFn pfnMade, void* pUser);
    static void Release(CloakMasks* pMasks);
    // Whether a shared set of that size from that module lives now.
    static BOOL IsLive(HINSTANCE hInstance, SIZE size);
    // What one set of that size holds.
    static unsigned long long BytesFor(SIZE size);
    // The largest set kept whole and shared (64 MB, masks of 2560 x 1600);
    // returns the limit it replaces. Tests lower it to reach the larger sets.
    static unsigned long long KeptSetLimit(unsigned long long nBytes);

    // The frame's mask and colour table, scaled now unless held already.
    // FALSE, changing neither pointer, when it cannot be scaled now: the
    // caller keeps the mask it had (a step then shows an earlier cloud).
    BOOL Get(int nFrame, const BYTE** ppBits, const BYTE** ppColourTable);
    int Users() const { return m_nUsers; }

  private:
    CloakMasks(HINSTANCE hInstance, SIZE size, int nSlots);
    ~CloakMasks();
    CloakMasks(const CloakMasks&) = delete;
    CloakMasks& operator=(const CloakMasks&) = delete;
    BOOL Make(MadeFn pfnMade, void* pUser);
    static CloakMasks* FindLive(HINSTANCE hInstance, SIZE size, int* pnFree);
    static int SlotsFor(SIZE size);

    HINSTANCE m_hInstance;
    SIZE m_size;
    int m_nSlots; // 15, one a frame; or 1, the frame on show
    int m_nUsers;
    LONG m_nReservedKilobytes;
    size_t m_nSlotBytes;
    BYTE* m_pBits;                 // the slots, one after the other (VirtualAlloc)
    int m_nHeld[kCloakFrameCount]; // the frame each slot holds, or -1
    RGBQUAD m_colours[kCloakFrameCount][256];
};
