// The pictures of Tachyrama's resources. Each function draws one picture at
// the size and depth that the program relies on; all of them are fixed and
// deterministic, so a rebuild reproduces the same files byte for byte.
#pragma once
#include "Image.h"

#include <string>
#include <vector>

namespace artgen {

// The console palette shared by the panels and the buttons.
namespace colours {
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kOrange{255, 170, 102};
constexpr Rgb kBlue{153, 187, 255};
constexpr Rgb kLavender{204, 153, 221};
constexpr Rgb kSalmon{238, 136, 119};
constexpr Rgb kGold{255, 204, 119};
constexpr Rgb kNavy{12, 20, 56};
constexpr Rgb kWhite{255, 255, 255};
} // namespace colours

// Buttons: 128 x 64. The mask is the button shape in kMaskInside on a field
// of kMaskOutside; the button code keys on pure white, so both are near
// black and near white, never the key itself.
constexpr int kButtonWidth = 128;
constexpr int kButtonHeight = 64;
constexpr uint8_t kMaskInside = 0x04;
constexpr uint8_t kMaskOutside = 0xFC;
RgbImage DrawButton(Rgb face, bool pressed);
IndexedImage DrawButtonMask();

// Console-panel backgrounds: main dialog 550 x 350, About box 400 x 100,
// both 8 bits a pixel.
IndexedImage DrawMainBackground();
IndexedImage DrawAboutBackground();

// Farewell picture: 325 x 217, 16 colours.
IndexedImage DrawFarewell();

// Warp coil: 128 x 200 colour picture and its 8-bit opacity mask (colour
// table red = opacity), transparent along the whole border.
constexpr int kCoilWidth = 128;
constexpr int kCoilHeight = 200;
RgbImage DrawCoil();
IndexedImage DrawCoilMask();

// Cloak masks: 15 frames of 256 x 256, 8 bits a pixel, a looping cloud whose
// opacity (colour table red) stays within kCloakMinOpacity..255.
constexpr int kCloakFrames = 15;
constexpr int kCloakSize = 256;
constexpr int kCloakMinOpacity = 65;
std::vector<PaletteEntry> CloakPalette();
std::vector<IndexedImage> DrawCloakMasks();

// Application icon: true-colour images of 16, 32 and 48 pixels and 8-bit
// images of 16 and 32 pixels with AND masks, as one .ico file.
RgbaImage DrawIconTrueColour(int size);
PalettizedIcon DrawIconPalettized(int size);
std::vector<uint8_t> DrawIconFile();

// Writes every file that the resource script compiles in; false if any
// file could not be written.
bool WriteAllArtwork(const std::string& directory);

} // namespace artgen
