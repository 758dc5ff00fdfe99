#include "effects/MaskLoad.h"

#include "effects/Capture.h"
#include "effects/ComposeKernel.h"
#include "effects/MaskScale.h"

#include <cstdint>
#include <cstring>

namespace {

// The cloak's masks share one colour table: their nearest entries are
// searched once for the program. Masks are loaded on the UI thread, but the
// lock keeps the cache sound for any caller.
class SharedNearestEntries {
  public:
    SharedNearestEntries() { ::InitializeCriticalSection(&m_cs); }
    ~SharedNearestEntries() { ::DeleteCriticalSection(&m_cs); }
    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }
    NearestEntryCache m_cache;

  private:
    CRITICAL_SECTION m_cs;
};
SharedNearestEntries g_nearest;

BOOL DetectWine() {
    HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    return hNtdll && ::GetProcAddress(hNtdll, "wine_get_version") ? TRUE : FALSE;
}

// The resource's header, or null unless it is an uncompressed, bottom-up
// 8-bit bitmap whose bits lie within the resource.
const BITMAPINFOHEADER* FindMaskResource(HINSTANCE hInstance, int nId, DWORD* pnColours) {
    HRSRC hRes = ::FindResourceA(hInstance, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(2));
    HGLOBAL hData = hRes ? ::LoadResource(hInstance, hRes) : nullptr;
    const auto* pHeader =
        hData ? static_cast<const BITMAPINFOHEADER*>(::LockResource(hData)) : nullptr;
    const DWORD nSize = hRes ? ::SizeofResource(hInstance, hRes) : 0;
    if (!pHeader || nSize < sizeof(BITMAPINFOHEADER) || pHeader->biSize < sizeof(BITMAPINFOHEADER))
        return nullptr;
    if (pHeader->biBitCount != 8 || pHeader->biCompression != BI_RGB || pHeader->biWidth <= 0 ||
        pHeader->biHeight <= 0 || pHeader->biClrUsed > 256)
        return nullptr;
    const DWORD nColours = pHeader->biClrUsed ? pHeader->biClrUsed : 256;
    const uint64_t nStride = (static_cast<uint64_t>(pHeader->biWidth) + 3) / 4 * 4;
    const uint64_t nNeeded =
        pHeader->biSize + nColours * 4ull + nStride * static_cast<uint64_t>(pHeader->biHeight);
    if (nNeeded > nSize)
        return nullptr;
    *pnColours = nColours;
    return pHeader;
}

// Scales the resource into pBits (Dib8Stride(cx) * cy bytes). FALSE, writing
// nothing, when the resource is not of the smooth scaling's form or the
// scaling cannot be done (ScaleMaskSmooth).
BOOL ScaleSmooth(const BITMAPINFOHEADER* pSource, DWORD nColours, int cx, int cy, BYTE* pBits) {
    const auto* pTable = reinterpret_cast<const uint8_t*>(pSource) + pSource->biSize;
    g_nearest.Enter();
    const bool bOk =
        ScaleMaskSmooth(pSource->biWidth, pSource->biHeight, pTable + nColours * 4, pTable,
                        static_cast<int32_t>(nColours), cx, cy, pBits, &g_nearest.m_cache);
    g_nearest.Leave();
    return bOk ? TRUE : FALSE;
}

} // namespace

BOOL RunningUnderWine() {
    static const BOOL bWine = DetectWine();
    return bWine;
}

HBITMAP LoadCloakMask(HINSTANCE hInstance, int nId, int cx, int cy) {
    if (RunningUnderWine()) {
        HBITMAP hMask = LoadCloakMaskSmooth(hInstance, nId, cx, cy);
        if (hMask)
            return hMask;
    }
    return static_cast<HBITMAP>(::LoadImageA(hInstance, MAKEINTRESOURCEA(nId), IMAGE_BITMAP, cx, cy,
                                             LR_SHARED | LR_CREATEDIBSECTION));
}

BOOL HaveCloakMask(HINSTANCE hInstance, int nId) {
    return ::FindResourceA(hInstance, MAKEINTRESOURCEA(nId), MAKEINTRESOURCEA(2)) != nullptr;
}

BOOL ScaleCloakMask(HINSTANCE hInstance, int nId, int cx, int cy, BYTE* pBits, RGBQUAD* pColours) {
    if (cx <= 0 || cy <= 0)
        return FALSE;
    if (RunningUnderWine()) {
        DWORD nColours = 0;
        const BITMAPINFOHEADER* pSource = FindMaskResource(hInstance, nId, &nColours);
        if (pSource && ScaleSmooth(pSource, nColours, cx, cy, pBits)) {
            std::memset(pColours, 0, 256 * sizeof(RGBQUAD));
            std::memcpy(pColours, reinterpret_cast<const BYTE*>(pSource) + pSource->biSize,
                        nColours * 4);
            return TRUE;
        }
    }
    HBITMAP hMask = LoadCloakMask(hInstance, nId, cx, cy);
    MaskPixels pixels;
    const BOOL bRead = hMask && pixels.Read(hMask, cx, cy);
    if (bRead) {
        std::memcpy(pBits, pixels.Bits(), Dib8Stride(cx) * static_cast<size_t>(cy));
        std::memcpy(pColours, pixels.ColourTable(), 256 * sizeof(RGBQUAD));
    }
    if (hMask)
        ::DeleteObject(hMask);
    return bRead;
}

HBITMAP LoadCloakMaskSmooth(HINSTANCE hInstance, int nId, int cx, int cy) {
    DWORD nColours = 0;
    const BITMAPINFOHEADER* pSource = FindMaskResource(hInstance, nId, &nColours);
    if (!pSource || cx <= 0 || cy <= 0)
        return nullptr;
    MaskInfo info = {};
    info.bmiHeader = *pSource;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;
    info.bmiHeader.biSizeImage = 0;
    std::memcpy(info.bmiColors, reinterpret_cast<const uint8_t*>(pSource) + pSource->biSize,
                nColours * 4);
    void* pBits = nullptr;
    HBITMAP hMask = ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hMask && (!pBits || !ScaleSmooth(pSource, nColours, cx, cy, static_cast<BYTE*>(pBits)))) {
        ::DeleteObject(hMask);
        return nullptr;
    }
    return hMask;
}
