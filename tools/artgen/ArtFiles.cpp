// The files the resource script compiles in, by name.
#include "Art.h"

#include <cstdio>

namespace artgen {

namespace {

struct ButtonFiles {
    const char* normal;
    const char* pressed;
    Rgb face;
};

// Each button keeps one pastel; the pressed picture is a lighter shade of it.
const ButtonFiles kButtons[] = {
    {"refresh_normal.bmp", "refresh_pressed.bmp", colours::kBlue},
    {"engage_normal.bmp", "engage_pressed.bmp", colours::kOrange},
    {"cloak_normal.bmp", "cloak_pressed.bmp", colours::kLavender},
    {"close_normal.bmp", "close_pressed.bmp", colours::kSalmon},
    {"about_normal.bmp", "about_pressed.bmp", colours::kGold},
};

} // namespace

bool WriteAllArtwork(const std::string& directory) {
    auto path = [&directory](const std::string& name) { return directory + "/" + name; };
    bool ok = WriteFileBytes(path("tachyrama.ico"), DrawIconFile());
    ok = WriteFileBytes(path("coil.bmp"), EncodeBmp(DrawCoil())) && ok;
    ok = WriteFileBytes(path("coil_mask.bmp"), EncodeBmp(DrawCoilMask())) && ok;
    for (const ButtonFiles& b : kButtons) {
        ok = WriteFileBytes(path(b.normal), EncodeBmp(DrawButton(b.face, false))) && ok;
        ok = WriteFileBytes(path(b.pressed), EncodeBmp(DrawButton(b.face, true))) && ok;
    }
    ok = WriteFileBytes(path("button_mask.bmp"), EncodeBmp(DrawButtonMask())) && ok;
    ok = WriteFileBytes(path("bg_main.bmp"), EncodeBmp(DrawMainBackground())) && ok;
    ok = WriteFileBytes(path("bg_about.bmp"), EncodeBmp(DrawAboutBackground())) && ok;
    ok = WriteFileBytes(path("farewell.bmp"), EncodeBmp(DrawFarewell())) && ok;
    std::vector<IndexedImage> masks = DrawCloakMasks();
    for (int i = 0; i < kCloakFrames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "cloak_mask_%02d.bmp", i);
        ok = WriteFileBytes(path(name), EncodeBmp(masks[i])) && ok;
    }
    return ok;
}

} // namespace artgen
