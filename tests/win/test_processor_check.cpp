// The program's own code as a processor without SSE2 or AVX2 runs it: with
// the processor check held back, the code that needs them (the section
// .simd) is never reached, and a cloak's frames come out as they do with
// every feature the processor has.
#include "effects/CloakWindow.h"
#include "effects/Processor.h"

#include "CloakTestSupport.h"
#include "Emulation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

using namespace cloaktest;

namespace {

BYTE* g_pSimd = nullptr;
SIZE_T g_nSimdBytes = 0;
volatile LONG g_nReached = 0;

// The program file's section of dispatched code.
bool FindDispatchedCode() {
    auto* pBase = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(pNt);
    for (WORD i = 0; i < pNt->FileHeader.NumberOfSections; ++i) {
        if (std::memcmp(pSection[i].Name, ".simd", 6) == 0) {
            g_pSimd = pBase + pSection[i].VirtualAddress;
            g_nSimdBytes = pSection[i].Misc.VirtualSize;
            return true;
        }
    }
    return false;
}

void ProtectDispatchedCode(DWORD dwProtect) {
    DWORD dwOld = 0;
    ::VirtualProtect(g_pSimd, g_nSimdBytes, dwProtect, &dwOld);
}

// A call into the unreachable section is counted and let through.
LONG CALLBACK CountReach(EXCEPTION_POINTERS* pInfo) {
    const BYTE* pAt = static_cast<const BYTE*>(pInfo->ExceptionRecord->ExceptionAddress);
    if (pInfo->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || pAt < g_pSimd ||
        pAt >= g_pSimd + g_nSimdBytes)
        return EXCEPTION_CONTINUE_SEARCH;
    ::InterlockedIncrement(&g_nReached);
    ProtectDispatchedCode(PAGE_EXECUTE_READ);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Runs the work with the dispatched code unreachable; whether it was reached.
bool ReachesDispatchedCode(const std::function<void()>& work) {
    g_nReached = 0;
    PVOID hHandler = ::AddVectoredExceptionHandler(1, CountReach);
    ProtectDispatchedCode(PAGE_NOACCESS);
    work();
    ProtectDispatchedCode(PAGE_EXECUTE_READ);
    ::RemoveVectoredExceptionHandler(hHandler);
    return g_nReached != 0;
}

// The pixels of a cloak's 15 frames; empty when the cloak cannot be made.
std::vector<std::vector<BYTE>> CloakFrames(HWND hOwner, HWND hTarget) {
    std::vector<std::vector<BYTE>> frames;
    auto* pCloak = new CloakWindow;
    if (pCloak->Create(::GetModuleHandleA(nullptr), hOwner, hTarget, nullptr, nullptr)) {
        for (int i = 0; i < 15; ++i) {
            pCloak->ComposeFrame(i);
            DIBSECTION section = {};
            ::GetObjectA(pCloak->m_hFrame, sizeof section, &section);
            const BYTE* pBits = static_cast<const BYTE*>(section.dsBm.bmBits);
            frames.emplace_back(pBits, pBits + section.dsBm.bmWidthBytes * section.dsBm.bmHeight);
        }
        ::DestroyWindow(pCloak->m_hWnd);
    }
    delete pCloak;
    return frames;
}

TEST(ProcessorCheck, WithoutFeaturesTheDispatchedCodeIsNeverReachedAndTheFramesAreTheSame) {
    if (RunsEmulated())
        GTEST_SKIP() << "emulated: the trap's access violation arrives with another code, and "
                        "the processor's features are the emulator's";
    ASSERT_TRUE(FindDispatchedCode());
    HWND hOwner =
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HWND hTarget = MakeTarget(40, 40, 230, 170, RGB(30, 140, 220));
    PumpFor(100);

    // With every feature the processor has, the frames need the dispatched
    // code wherever the processor has what it needs: the trap sees it.
    std::vector<std::vector<BYTE>> withFeatures;
    const bool bReached =
        ReachesDispatchedCode([&] { withFeatures = CloakFrames(hOwner, hTarget); });
    const bool bDispatches =
        ProcessorHas(kProcessorAvx2) || (sizeof(void*) == 4 && ProcessorHas(kProcessorSse2));
    EXPECT_EQ(bReached, bDispatches);
    ASSERT_EQ(withFeatures.size(), 15u);

    LimitProcessorFeatures(0);
    std::vector<std::vector<BYTE>> without;
    EXPECT_FALSE(ReachesDispatchedCode([&] { without = CloakFrames(hOwner, hTarget); }));
    LimitProcessorFeatures(kProcessorAll);
    ASSERT_EQ(without.size(), 15u);
    for (size_t i = 0; i < without.size(); ++i)
        EXPECT_TRUE(without[i] == withFeatures[i]) << "frame " << i;

    ::DestroyWindow(hTarget);
    ::DestroyWindow(hOwner);
}

} // namespace
