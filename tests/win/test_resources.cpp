// The resources as the program finds them in its own module: every bitmap
// loaded back through GDI (size, depth, the colour tables whose red is read
// as opacity, the exact colours of the button mask), the icon, the strings
// and the dialog templates; and the version and manifest of the built
// program file itself.
#include <windows.h>

#include "TachyVersion.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

// A loaded bitmap resource (DIB section) with its colour table, released on
// destruction.
class LoadedDib {
  public:
    LoadedDib(UINT id, int cx = 0, int cy = 0) {
        m_hBitmap = static_cast<HBITMAP>(
            LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, cx, cy, LR_CREATEDIBSECTION));
        if (m_hBitmap == nullptr || GetObjectA(m_hBitmap, sizeof m_dib, &m_dib) != sizeof m_dib) {
            return;
        }
        if (m_dib.dsBm.bmBitsPixel <= 8) {
            HDC hdc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(hdc, m_hBitmap);
            m_colours.resize(256);
            m_colours.resize(GetDIBColorTable(hdc, 0, 256, m_colours.data()));
            SelectObject(hdc, old);
            DeleteDC(hdc);
        }
    }
    ~LoadedDib() {
        if (m_hBitmap != nullptr) {
            DeleteObject(m_hBitmap);
        }
    }
    LoadedDib(const LoadedDib&) = delete;
    LoadedDib& operator=(const LoadedDib&) = delete;

    bool Valid() const { return m_hBitmap != nullptr && m_dib.dsBm.bmBits != nullptr; }
    int Width() const { return m_dib.dsBm.bmWidth; }
    int Height() const { return m_dib.dsBm.bmHeight; }
    int Bits() const { return m_dib.dsBm.bmBitsPixel; }
    const std::vector<RGBQUAD>& Colours() const { return m_colours; }

    // Palette index of a pixel of an 8-bit picture (rows as stored).
    BYTE Index(int x, int row) const {
        const BYTE* bits = static_cast<const BYTE*>(m_dib.dsBm.bmBits);
        return bits[row * m_dib.dsBm.bmWidthBytes + x];
    }

  private:
    HBITMAP m_hBitmap = nullptr;
    DIBSECTION m_dib{};
    std::vector<RGBQUAD> m_colours;
};

struct Expected {
    UINT id;
    int width;
    int height;
    int bits;
};

// Every index in an 8-bit picture selects an entry whose red lies in
// [low, 255]; returns the highest red in use.
int CheckRedInUse(const LoadedDib& dib, int low, const char* what) {
    int highest = -1;
    for (int y = 0; y < dib.Height(); ++y) {
        for (int x = 0; x < dib.Width(); ++x) {
            BYTE index = dib.Index(x, y);
            if (index >= dib.Colours().size()) {
                ADD_FAILURE() << what << ": index " << int(index) << " beyond the colour table";
                return -1;
            }
            int red = dib.Colours()[index].rgbRed;
            if (red < low) {
                ADD_FAILURE() << what << ": opacity " << red << " at " << x << "," << y;
                return -1;
            }
            highest = red > highest ? red : highest;
        }
    }
    return highest;
}

} // namespace

TEST(Resources, EveryBitmapHasItsSizeAndDepth) {
    const Expected bitmaps[] = {
        {IDB_COIL, 128, 200, 24},
        {IDB_COIL_MASK, 128, 200, 8},
        {IDB_REFRESH_PRESSED, 128, 64, 24},
        {IDB_REFRESH_NORMAL, 128, 64, 24},
        {IDB_BACKGROUND, 550, 350, 8},
        {IDB_BUTTON_MASK, 128, 64, 8},
        {IDB_ENGAGE_NORMAL, 128, 64, 24},
        {IDB_ENGAGE_PRESSED, 128, 64, 24},
        {IDB_CLOAK_NORMAL, 128, 64, 24},
        {IDB_CLOAK_PRESSED, 128, 64, 24},
        {IDB_CLOSE_NORMAL, 128, 64, 24},
        {IDB_CLOSE_PRESSED, 128, 64, 24},
        {IDB_ABOUT_NORMAL, 128, 64, 24},
        {IDB_ABOUT_PRESSED, 128, 64, 24},
        {IDB_ABOUT_BACKGROUND, 400, 100, 8},
        {IDB_FAREWELL, 325, 217, 4},
    };
    for (const Expected& e : bitmaps) {
        LoadedDib dib(e.id);
        ASSERT_TRUE(dib.Valid()) << e.id;
        EXPECT_EQ(e.width, dib.Width()) << e.id;
        EXPECT_EQ(e.height, dib.Height()) << e.id;
        EXPECT_EQ(e.bits, dib.Bits()) << e.id;
        if (e.bits <= 8) {
            EXPECT_FALSE(dib.Colours().empty()) << e.id;
        }
    }
    // Plain LoadBitmapA, the way the dialogs load them, works for all too.
    for (const Expected& e : bitmaps) {
        HBITMAP hbm = LoadBitmapA(Module(), MAKEINTRESOURCEA(e.id));
        EXPECT_NE(nullptr, hbm) << e.id;
        if (hbm != nullptr) {
            DeleteObject(hbm);
        }
    }
}

TEST(Resources, MasksCarryOpacityInTheirColourTables) {
    LoadedDib coil(IDB_COIL_MASK);
    ASSERT_TRUE(coil.Valid());
    EXPECT_GE(CheckRedInUse(coil, 0, "coil mask"), 240);
    for (int x = 0; x < coil.Width(); ++x) {
        EXPECT_EQ(0, coil.Colours()[coil.Index(x, 0)].rgbRed) << x;
        EXPECT_EQ(0, coil.Colours()[coil.Index(x, coil.Height() - 1)].rgbRed) << x;
    }

    LoadedDib first(IDB_CLOAK_MASK_FIRST);
    LoadedDib repeat(IDB_CLOAK_MASK_REPEAT);
    ASSERT_TRUE(first.Valid());
    ASSERT_TRUE(repeat.Valid());
    for (UINT id = IDB_CLOAK_MASK_FIRST; id <= IDB_CLOAK_MASK_REPEAT; ++id) {
        LoadedDib mask(id);
        ASSERT_TRUE(mask.Valid()) << id;
        EXPECT_EQ(256, mask.Width()) << id;
        EXPECT_EQ(256, mask.Height()) << id;
        EXPECT_EQ(8, mask.Bits()) << id;
        ASSERT_EQ(256u, mask.Colours().size()) << id;
        for (size_t i = 1; i < 256; ++i) {
            EXPECT_GE(mask.Colours()[i].rgbRed, mask.Colours()[i - 1].rgbRed) << id << " " << i;
        }
        EXPECT_EQ(255, CheckRedInUse(mask, 65, "cloak mask")) << id;
    }
    // The unused last resource repeats the first frame.
    bool same = true;
    for (int y = 0; y < 256 && same; ++y) {
        for (int x = 0; x < 256 && same; ++x) {
            same = first.Index(x, y) == repeat.Index(x, y);
        }
    }
    EXPECT_TRUE(same);
}

// The cloak loads each mask stretched to the target window's size; the scaled
// DIB section must still be 8-bit with a colour table that keeps every pixel
// at the masks' lowest opacity or above.
TEST(Resources, ScaledCloakMaskKeepsItsOpacityTable) {
    LoadedDib scaled(IDB_CLOAK_MASK_FIRST, 800, 600);
    ASSERT_TRUE(scaled.Valid());
    EXPECT_EQ(800, scaled.Width());
    EXPECT_EQ(600, scaled.Height());
    ASSERT_EQ(8, scaled.Bits());
    ASSERT_FALSE(scaled.Colours().empty());
    EXPECT_GE(CheckRedInUse(scaled, 65, "scaled cloak mask"), 250);
}

// The coil loads its mask with LoadBitmapA (a display-format bitmap) and
// reads it back as 8-bit indices with a colour table: the opacity must
// survive that round trip, clear at the border and bright in the rings.
TEST(Resources, CoilMaskSurvivesTheDisplayFormatRoundTrip) {
    HBITMAP hbm = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_COIL_MASK));
    ASSERT_NE(nullptr, hbm);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, hbm, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 256;
    info.header.biClrImportant = 256;
    ASSERT_EQ(128, info.header.biWidth);
    ASSERT_EQ(200, info.header.biHeight);
    std::vector<BYTE> indices(128 * 200);
    EXPECT_EQ(200, GetDIBits(screen, hbm, 0, 200, indices.data(),
                             reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
    DeleteObject(hbm);
    int peak = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 128; ++x) {
            int red = info.colours[indices[y * 128 + x]].rgbRed;
            peak = red > peak ? red : peak;
            if (x == 0 || y == 0 || x == 127 || y == 199) {
                EXPECT_EQ(0, red) << x << "," << y;
            }
        }
    }
    EXPECT_GE(peak, 200);
}

// The button keys its window region on pure white: the mask's two colours
// must read back exactly, neither of them white, from a display-compatible
// bitmap as the button loads it.
TEST(Resources, ButtonMaskReadsBackAsItsTwoColours) {
    HBITMAP hbm = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_BUTTON_MASK));
    ASSERT_NE(nullptr, hbm);
    HDC hdc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    // A memory DC starts monochrome; draw into a screen-format copy.
    HBITMAP copy = CreateCompatibleBitmap(screen, 128, 64);
    HDC hdcCopy = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(hdc, hbm);
    HGDIOBJ oldCopy = SelectObject(hdcCopy, copy);
    BitBlt(hdcCopy, 0, 0, 128, 64, hdc, 0, 0, SRCCOPY);
    int inside = 0, outside = 0, other = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            COLORREF c = GetPixel(hdcCopy, x, y);
            inside += c == RGB(4, 4, 4);
            outside += c == RGB(0xFC, 0xFC, 0xFC);
            other += c != RGB(4, 4, 4) && c != RGB(0xFC, 0xFC, 0xFC);
        }
    }
    EXPECT_EQ(0, other);
    EXPECT_GT(inside, 128 * 64 * 3 / 4);
    EXPECT_GT(outside, 0);
    EXPECT_EQ(RGB(0xFC, 0xFC, 0xFC), GetPixel(hdcCopy, 0, 0));
    EXPECT_EQ(RGB(4, 4, 4), GetPixel(hdcCopy, 64, 32));
    SelectObject(hdcCopy, oldCopy);
    SelectObject(hdc, old);
    DeleteDC(hdcCopy);
    DeleteDC(hdc);
    ReleaseDC(nullptr, screen);
    DeleteObject(copy);
    DeleteObject(hbm);
}

TEST(Resources, IconStringsAndDialogs) {
    for (int size : {32, 16}) {
        HICON icon = static_cast<HICON>(
            LoadImageA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm{};
        GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(size, bm.bmWidth);
        if (info.hbmColor != nullptr) {
            DeleteObject(info.hbmColor);
        }
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    HICON shared = LoadIconA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    EXPECT_NE(nullptr, shared);

    wchar_t text[128];
    ASSERT_GT(LoadStringW(Module(), IDS_ABOUTBOX, text, 128), 0);
    EXPECT_STREQ(L"Tachyrama \u306B\u3064\u3044\u3066(&A)...", text);
    ASSERT_GT(LoadStringW(Module(), IDS_TITLE, text, 128), 0);
    EXPECT_STREQ(L"Tachyrama", text);
    ASSERT_GT(LoadStringW(Module(), IDS_STAGE, text, 128), 0);
    EXPECT_STREQ(L"stage 002", text);

    EXPECT_NE(nullptr, FindResourceA(Module(), MAKEINTRESOURCEA(IDD_ABOUTBOX), RT_DIALOG));
    EXPECT_NE(nullptr, FindResourceA(Module(), MAKEINTRESOURCEA(IDD_MAIN), RT_DIALOG));
}

namespace {

// The program file, two folders up from this test program in the build tree.
std::string ProgramPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    for (int up = 0; up < 3; ++up) {
        s.erase(s.find_last_of("\\/"));
    }
    return s + "\\Tachyrama.exe";
}

std::string VersionText(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT cch = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &cch) ||
        value == nullptr) {
        return "(none)";
    }
    return value;
}

} // namespace

TEST(Resources, ProgramFileCarriesItsVersion) {
    const std::string path = ProgramPath();
    DWORD handle = 0;
    const DWORD cb = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(cb, 0u) << path;
    std::vector<char> block(cb);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, cb, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &cbFixed));
    ASSERT_NE(nullptr, fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    const DWORD ms = MAKELONG(TACHY_VERSION_MINOR, TACHY_VERSION_MAJOR);
    const DWORD ls = MAKELONG(0, TACHY_VERSION_PATCH);
    EXPECT_EQ(ms, fixed->dwFileVersionMS);
    EXPECT_EQ(ls, fixed->dwFileVersionLS);
    EXPECT_EQ(ms, fixed->dwProductVersionMS);
    EXPECT_EQ(ls, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    EXPECT_EQ("Tachyrama", VersionText(block, "ProductName"));
    EXPECT_EQ("Tachyrama.exe", VersionText(block, "OriginalFilename"));
    EXPECT_EQ(TACHY_VERSION_STRING, VersionText(block, "FileVersion"));
    EXPECT_EQ(TACHY_VERSION_STRING, VersionText(block, "ProductVersion"));
    EXPECT_NE(std::string::npos, VersionText(block, "FileDescription").find("Tachyrama"));
}

// Run as the user who starts it, declared for Vista to 11, and nothing that
// would change the look: no newer common controls, no DPI awareness.
TEST(Resources, ProgramFileCarriesItsManifest) {
    const std::string path = ProgramPath();
    HMODULE hModule = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, hModule) << path;
    HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, hRes);
    HGLOBAL hData = LoadResource(hModule, hRes);
    const char* data = static_cast<const char*>(LockResource(hData));
    ASSERT_NE(nullptr, data);
    const std::string manifest(data, SizeofResource(hModule, hRes));
    FreeLibrary(hModule);

    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, manifest.find("uiAccess=\"false\""));
    for (const char* os :
         {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
          "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
          "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(std::string::npos,
                  manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"))
            << os;
    }
    EXPECT_EQ(std::string::npos, manifest.find("Common-Controls"));
    EXPECT_EQ(std::string::npos, manifest.find("dpiAware"));
    EXPECT_EQ(std::string::npos, manifest.find("<dependency"));
}
