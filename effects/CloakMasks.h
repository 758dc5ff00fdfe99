// The cloak's 15 masks scaled to a window's size, held at one byte a pixel
// while a cloak of that size lives and shared by all live cloaks of that
// size; each tick composes its frame from them. Also the memory budget that
// all live cloaks share. UI thread as a rule; the registry is locked anyway.
#pragma once
#include <windows.h>

#include "effects/Capture.h"
#include "effects/CloakFade.h"

// Takes nBytes of the budget of all live cloaks; FALSE, taking nothing, when
// they do not fit. *pnKilobytes receives what ReturnCloakMemory gives back.
BOOL ReserveCloakMemory(unsigned long long nBytes, LONG* pnKilobytes);
void ReturnCloakMemory(LONG nKilobytes);
// The kilobytes that a reservation of nBytes takes.
LONG Kilobytes(unsigned long long nBytes);

class CloakMasks {
  public:
    // Called after each mask of a new set is made, with 1 to 15; a shared set
    // reports all 15 at once.
    typedef void (*MadeFn)(int nDone, void* pUser);

    // The masks of that size from that module: a live set, or one made now.
    // Null when a mask cannot be made or the set does not fit the budget.
    // Every set acquired is released once.
    static CloakMasks* Acquire(HINSTANCE hInstance, SIZE size, MadeFn pfnMade, void* pUser);
    static void Release(CloakMasks* pMasks);
    // Whether a set of that size from that module lives now.
    static BOOL IsLive(HINSTANCE hInstance, SIZE size);
    // What one set of that size holds.
    static unsigned long long BytesFor(SIZE size);

    const BYTE* Bits(int nFrame) const { return m_pixels[nFrame].Bits(); }
    const BYTE* ColourTable(int nFrame) const { return m_pixels[nFrame].ColourTable(); }
    int Users() const { return m_nUsers; }

  private:
    CloakMasks(HINSTANCE hInstance, SIZE size);
    ~CloakMasks();
    CloakMasks(const CloakMasks&) = delete;
    CloakMasks& operator=(const CloakMasks&) = delete;
    BOOL Make(MadeFn pfnMade, void* pUser);
    static CloakMasks* FindLive(HINSTANCE hInstance, SIZE size, int* pnFree);

    HINSTANCE m_hInstance;
    SIZE m_size;
    int m_nUsers;
    LONG m_nReservedKilobytes;
    HBITMAP m_hMasks[kCloakFrameCount];
    MaskPixels m_pixels[kCloakFrameCount];
};
