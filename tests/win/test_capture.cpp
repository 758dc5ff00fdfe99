// Capture and composition helpers against the real GDI.
#include "effects/Capture.h"

#include "HandleLedger.h"
#include "effects/ComposeKernel.h"
#include "effects/MaskLoad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Section {
    int width = 0, height = 0, bpp = 0;
    const uint8_t* bits = nullptr;
};

Section Describe(HBITMAP h) {
    DIBSECTION ds = {};
    Section s;
    if (::GetObjectA(h, sizeof ds, &ds) == sizeof ds) {
        s.width = ds.dsBmih.biWidth;
        s.height = ds.dsBmih.biHeight;
        s.bpp = ds.dsBmih.biBitCount;
        s.bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    }
    return s;
}

// An 8-bit DIB section with the given colour table and indices (rows
// bottom first, Dib8Stride apart).
HBITMAP MakeMask(int w, int h, const RGBQUAD* table, const uint8_t* indices) {
    struct {
        BITMAPINFOHEADER hdr;
        RGBQUAD colours[256];
    } bi = {};
    bi.hdr = {sizeof(BITMAPINFOHEADER), w, h, 1, 8, BI_RGB, 0, 0, 0, 256, 256};
    std::memcpy(bi.colours, table, sizeof bi.colours);
    void* bits = nullptr;
    HBITMAP hbm = ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS,
                                     &bits, nullptr, 0);
    if (hbm)
        std::memcpy(bits, indices, Dib8Stride(w) * h);
    return hbm;
}

HBITMAP MakeColour(int w, int h, const uint8_t* pixels) {
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP hbm = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (hbm)
        std::memcpy(bits, pixels, Dib24Stride(w) * h);
    return hbm;
}

// Opacity (red of the colour-table entry) of every pixel of an 8-bit DIB
// section, rows bottom first, width * height values.
std::vector<int> Opacities(HBITMAP hbm) {
    Section s = Describe(hbm);
    std::vector<int> out;
    if (s.bpp != 8)
        return out;
    HDC hdc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(hdc, hbm);
    RGBQUAD table[256] = {};
    ::GetDIBColorTable(hdc, 0, 256, table);
    ::SelectObject(hdc, old);
    ::DeleteDC(hdc);
    for (int y = 0; y < std::abs(s.height); ++y)
        for (int x = 0; x < s.width; ++x)
            out.push_back(table[s.bits[y * Dib8Stride(s.width) + x]].rgbRed);
    return out;
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ledger::Install());
        m_before = ledger::Now();
    }
    void ExpectNothingLeft() {
        ledger::Counts now = ledger::Now();
        EXPECT_TRUE(now == m_before)
            << ledger::Describe(now) << " vs " << ledger::Describe(m_before);
    }
    ledger::Counts m_before;
};

TEST_F(CaptureTest, CopyToDib24KeepsEveryRowOfANarrowPicture) {
    HDC hScreen = ::GetDC(nullptr);
    HDC hdc = ::CreateCompatibleDC(hScreen);
    HBITMAP hSource = ::CreateCompatibleBitmap(hScreen, 1, 10);
    HGDIOBJ old = ::SelectObject(hdc, hSource);
    for (int y = 0; y < 10; ++y)
        ::SetPixelV(hdc, 0, y, RGB(10 * y + 5, 200 - 10 * y, 7 * y));
    ::SelectObject(hdc, old);

    HBITMAP hCopy = CopyToDib24(hSource);
    ASSERT_NE(hCopy, nullptr);
    Section s = Describe(hCopy);
    EXPECT_EQ(s.width, 1);
    EXPECT_EQ(s.height, 10);
    EXPECT_EQ(s.bpp, 24);
    ASSERT_NE(s.bits, nullptr);
    for (int row = 0; row < 10; ++row) { // stored bottom row first, 4 bytes a row
        const int y = 9 - row;
        const uint8_t* p = s.bits + row * 4;
        EXPECT_EQ(p[0], 7 * y) << "blue of row " << y;
        EXPECT_EQ(p[1], 200 - 10 * y) << "green of row " << y;
        EXPECT_EQ(p[2], 10 * y + 5) << "red of row " << y;
    }
    // The source is still the caller's and intact.
    EXPECT_EQ(::GetObjectType(hSource), (DWORD)OBJ_BITMAP);
    ::DeleteObject(hCopy);
    ::DeleteObject(hSource);
    ::DeleteDC(hdc);
    ::ReleaseDC(nullptr, hScreen);
    EXPECT_EQ(CopyToDib24(nullptr), nullptr);
    ExpectNothingLeft();
}

TEST_F(CaptureTest, ComposedFrameHasTheStatedHeaderAndPremultipliedPixels) {
    // 5 pixels wide: colour rows of 16 bytes, mask rows of 8, frame rows of 20.
    const int w = 5, h = 3;
    RGBQUAD table[256] = {};
    table[1] = {0, 0, 255, 0};     // pure red: opaque
    table[2] = {128, 128, 128, 0}; // grey 128
    table[3] = {200, 100, 0, 0};   // red 0: transparent whatever blue and green say
    table[4] = {9, 9, 1, 77};      // alpha 1
    for (int i = 5; i < 256; ++i)
        table[i] = {0, 0, static_cast<BYTE>(i), 0};
    uint8_t colour[16 * h] = {};
    uint8_t mask[8 * h] = {};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* c = colour + y * 16 + 3 * x;
            c[0] = static_cast<uint8_t>(255 - 40 * x);
            c[1] = static_cast<uint8_t>(30 * y + 100);
            c[2] = static_cast<uint8_t>(255 - y);
            mask[y * 8 + x] = static_cast<uint8_t>(1 + (x + y) % 4 + (x == 4 && y == 2 ? 200 : 0));
        }
    HBITMAP hColour = MakeColour(w, h, colour);
    HBITMAP hMask = MakeMask(w, h, table, mask);
    ASSERT_TRUE(hColour && hMask);

    HBITMAP hFrame = ComposeMaskedFrame(hColour, hMask);
    ASSERT_NE(hFrame, nullptr);
    DIBSECTION ds = {};
    ASSERT_EQ(::GetObjectA(hFrame, sizeof ds, &ds), (int)sizeof ds);
    EXPECT_EQ(ds.dsBmih.biWidth, w);
    EXPECT_EQ(ds.dsBmih.biHeight, h);
    EXPECT_EQ(ds.dsBmih.biBitCount, 32);
    EXPECT_EQ(ds.dsBmih.biCompression, (DWORD)BI_RGB);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, w * 4);
    const uint8_t* out = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* c = colour + y * 16 + 3 * x;
            const uint32_t alpha = table[mask[y * 8 + x]].rgbRed;
            const uint32_t factor = alpha * 65536 / 255;
            const uint8_t* o = out + y * 20 + 4 * x;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(o[k], (c[k] * factor) >> 16)
                    << "pixel " << x << "," << y << " channel " << k;
            EXPECT_EQ(o[3], alpha);
        }
    // The fixed points of the rule: red entry keeps the colour, grey 128 halves
    // white to 127, red 0 gives transparent black.
    EXPECT_EQ(out[3], 255);
    EXPECT_EQ(out[2], colour[2]);
    EXPECT_EQ(out[4 + 3], 128);
    EXPECT_EQ(out[2 * 4 + 3], 0);
    EXPECT_EQ(out[2 * 4 + 0], 0);

    // A picture in another form is read through a copy: a 32-bit picture
    // gives the same bytes, and the trace has its three marks either way.
    {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP hColour32 = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(hColour32, nullptr);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                std::memcpy(static_cast<uint8_t*>(bits) + y * w * 4 + x * 4,
                            colour + y * 16 + 3 * x, 3);
        ledger::TakeDebugLines();
        TraceReset();
        HBITMAP hCopied = ComposeMaskedFrame(hColour32, hMask);
        const auto lines = ledger::TakeDebugLines();
        ASSERT_NE(hCopied, nullptr);
        const Section copied = Describe(hCopied);
        ASSERT_EQ(copied.bpp, 32);
        EXPECT_EQ(std::memcmp(copied.bits, out, 20 * h), 0);
        ASSERT_EQ(lines.size(), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(lines[i].substr(0, 4), std::to_string(i) + " : ");
        ::DeleteObject(hCopied);
        ::DeleteObject(hColour32);
    }

    // Mismatched sizes are refused rather than read past the mask's rows.
    HBITMAP hSmall = MakeMask(4, 3, table, mask);
    EXPECT_EQ(ComposeMaskedFrame(hColour, hSmall), nullptr);
    EXPECT_EQ(ComposeMaskedFrame(nullptr, hMask), nullptr);
    EXPECT_EQ(Describe(hColour).bits[0], colour[0]); // inputs untouched
    ::DeleteObject(hSmall);
    ::DeleteObject(hFrame);
    ::DeleteObject(hMask);
    ::DeleteObject(hColour);
    ExpectNothingLeft();
}

// The cloak masks arrive scaled by LoadImageA, which maps each scaled pixel to
// the nearest palette colour: the opacities must stay what the unscaled mask
// says, up to the blending of neighbours. And each sized load is a new bitmap
// even with LR_SHARED, so the cloak has to delete it.
TEST_F(CaptureTest, ScaledMasksKeepTheirOpacitiesAndAreNotShared) {
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    for (int id = 155; id <= 169; id += 7) {
        HBITMAP hRaw = (HBITMAP)::LoadImageA(hInst, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                             LR_CREATEDIBSECTION);
        ASSERT_NE(hRaw, nullptr);
        const std::vector<int> raw = Opacities(hRaw);
        ASSERT_EQ(raw.size(), 256u * 256u);
        EXPECT_GE(*std::min_element(raw.begin(), raw.end()), 65);
        const SIZE sizes[] = {{512, 384}, {137, 91}, {800, 600}};
        for (SIZE sz : sizes) {
            HBITMAP hA = (HBITMAP)::LoadImageA(hInst, MAKEINTRESOURCEA(id), IMAGE_BITMAP, sz.cx,
                                               sz.cy, LR_SHARED | LR_CREATEDIBSECTION);
            HBITMAP hB = (HBITMAP)::LoadImageA(hInst, MAKEINTRESOURCEA(id), IMAGE_BITMAP, sz.cx,
                                               sz.cy, LR_SHARED | LR_CREATEDIBSECTION);
            ASSERT_TRUE(hA && hB);
            EXPECT_NE(hA, hB) << "a sized LR_SHARED load is a new bitmap";
            const std::vector<int> scaled = Opacities(hA);
            ASSERT_EQ(scaled.size(), static_cast<size_t>(sz.cx * sz.cy)) << "8 bits a pixel";
            int worst = 0;
            long long sum = 0;
            for (int y = 0; y < sz.cy; ++y)
                for (int x = 0; x < sz.cx; ++x) {
                    // Range of the source pixels that the scaled one covers
                    // or touches.
                    const int sx = x * 256 / sz.cx, sy = y * 256 / sz.cy;
                    const int rx = 1 + 256 / sz.cx, ry = 1 + 256 / sz.cy;
                    int lo = 255, hi = 0;
                    for (int dy = -ry; dy <= ry; ++dy)
                        for (int dx = -rx; dx <= rx; ++dx) {
                            const int v = raw[std::clamp(sy + dy, 0, 255) * 256 +
                                              std::clamp(sx + dx, 0, 255)];
                            lo = std::min(lo, v);
                            hi = std::max(hi, v);
                        }
                    const int v = scaled[y * sz.cx + x];
                    const int off = v < lo ? lo - v : (v > hi ? v - hi : 0);
                    worst = std::max(worst, off);
                    sum += std::abs(v - raw[sy * 256 + sx]);
                }
            EXPECT_LE(worst, 2) << "mask " << id << " at " << sz.cx << "x" << sz.cy;
            EXPECT_LT(static_cast<double>(sum) / (sz.cx * sz.cy), 6.0);
            ::DeleteObject(hA);
            EXPECT_EQ(::GetObjectType(hA), 0u) << "deleting a sized load frees it";
            EXPECT_EQ(::GetObjectType(hB), (DWORD)OBJ_BITMAP) << "and leaves the other one alone";
            ::DeleteObject(hB);
        }
        ::DeleteObject(hRaw);
    }
    ExpectNothingLeft();
}

// Indices of an 8-bit DIB section, rows bottom first, width * height values.
std::vector<uint8_t> Indices(HBITMAP hbm) {
    Section s = Describe(hbm);
    std::vector<uint8_t> out;
    if (s.bpp != 8 || !s.bits)
        return out;
    for (int y = 0; y < std::abs(s.height); ++y)
        out.insert(out.end(), s.bits + y * Dib8Stride(s.width),
                   s.bits + y * Dib8Stride(s.width) + s.width);
    return out;
}

// The quick mask scaling must give what the system's scaled load gives on
// Wine, index for index, and keep the colour table; elsewhere the system's
// load is used as it is.
TEST_F(CaptureTest, QuickScaledMasksEqualTheSystemsScaledLoad) {
    HINSTANCE hInst = ::GetModuleHandleA(nullptr);
    const SIZE sizes[] = {{800, 600}, {137, 91}, {300, 1}, {1, 40}, {200, 150}};
    for (int id = 155; id <= 169; id += 7) {
        for (SIZE sz : sizes) {
            HBITMAP hSystem = (HBITMAP)::LoadImageA(hInst, MAKEINTRESOURCEA(id), IMAGE_BITMAP,
                                                    sz.cx, sz.cy, LR_SHARED | LR_CREATEDIBSECTION);
            HBITMAP hQuick = LoadCloakMaskSmooth(hInst, id, sz.cx, sz.cy);
            HBITMAP hUsed = LoadCloakMask(hInst, id, sz.cx, sz.cy);
            ASSERT_TRUE(hSystem && hQuick && hUsed);
            EXPECT_EQ(Opacities(hUsed).size(), static_cast<size_t>(sz.cx * sz.cy));
            const std::vector<uint8_t> a = Indices(hSystem), b = Indices(hQuick);
            ASSERT_EQ(a.size(), static_cast<size_t>(sz.cx * sz.cy));
            ASSERT_EQ(b.size(), a.size());
            if (RunningUnderWine()) {
                size_t nDiffer = 0;
                for (size_t i = 0; i < a.size(); ++i)
                    nDiffer += a[i] != b[i];
                EXPECT_EQ(nDiffer, 0u) << "mask " << id << " at " << sz.cx << "x" << sz.cy;
                EXPECT_EQ(Opacities(hSystem), Opacities(hQuick));
            }
            ::DeleteObject(hSystem);
            ::DeleteObject(hQuick);
            ::DeleteObject(hUsed);
        }
    }
    EXPECT_EQ(LoadCloakMaskSmooth(hInst, 4242, 10, 10), nullptr) << "no such resource";
    EXPECT_EQ(LoadCloakMaskSmooth(hInst, 155, 0, 10), nullptr);
    ExpectNothingLeft();
}

TEST_F(CaptureTest, TraceMarksCountAndTime) {
    ledger::TakeDebugLines();
    TraceReset();
    ::Sleep(40);
    TraceMark();
    TraceMark();
    TraceReset();
    TraceMark();
    const auto lines = ledger::TakeDebugLines();
    ASSERT_EQ(lines.size(), 3u);
    int n = -1, ms = -1;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "%d : %d\n", &n, &ms), 2);
    EXPECT_EQ(n, 0);
    EXPECT_GE(ms, 20); // the tick count moves in steps of several ms
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(lines[1].substr(0, 4), "1 : ");
    EXPECT_EQ(lines[2].substr(0, 4), "0 : ");
    EXPECT_EQ(lines[0].back(), '\n');
}

HWND MakeWindow(const char* title) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "capture test window";
    wc.hbrBackground = (HBRUSH)::GetStockObject(WHITE_BRUSH);
    ::RegisterClassA(&wc);
    return ::CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                             200, 150, nullptr, nullptr, wc.hInstance, nullptr);
}

// Overlapping raises from several threads must leave the foreground lock
// timeout as it was: each call saves and restores it.
TEST_F(CaptureTest, ForegroundRaisesAreSerialised) {
    HWND hA = MakeWindow("raise A");
    HWND hB = MakeWindow("raise B");
    ASSERT_TRUE(hA && hB);
    DWORD saved = 0;
    ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)(ULONG_PTR)123456, 0);
    DWORD check = 0;
    ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &check, 0);
    if (check != 123456)
        GTEST_SKIP() << "this system does not keep the foreground lock timeout";

    // Same thread as the foreground window: the attach fails, the raise still happens.
    ::SetForegroundWindow(hA);
    EXPECT_FALSE(ForceForegroundWindow(hB));
    EXPECT_EQ(::GetForegroundWindow(), hB);

    struct Job {
        HWND h;
        static DWORD WINAPI Run(LPVOID p) {
            for (int i = 0; i < 100; ++i)
                ForceForegroundWindow(static_cast<Job*>(p)->h);
            return 0;
        }
    } jobs[3] = {{hA}, {hB}, {hA}};
    HANDLE threads[3];
    for (int i = 0; i < 3; ++i)
        threads[i] = ::CreateThread(nullptr, 0, Job::Run, &jobs[i], 0, nullptr);
    ::WaitForMultipleObjects(3, threads, TRUE, INFINITE);
    for (HANDLE t : threads)
        ::CloseHandle(t);
    ::SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &check, 0);
    EXPECT_EQ(check, 123456u);
    ::SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)(ULONG_PTR)saved, 0);
    ::DestroyWindow(hA);
    ::DestroyWindow(hB);
}

} // namespace
