// Console-panel pictures: the buttons, their shape mask and the two dialog
// backgrounds. Everything sits on black, so every edge is a blend between one
// pastel and black, and each background palette is a set of such ramps.
#include "Art.h"
#include "Shapes.h"

namespace artgen {

namespace {

using namespace colours;

// The button face leaves a black margin on the right and at the bottom: the
// large buttons stand 128 pixels wide at a spacing a little narrower than
// that, and the small ones are stacked without a gap.
RoundRect ButtonShape() {
    return Box(1.0f, 1.0f, 121.0f, 60.0f, 15.0f);
}

// Black plus, for each panel colour, 51 steps from just above black up to the
// colour itself: 256 entries.
std::vector<PaletteEntry> PanelPalette() {
    const Rgb used[] = {kOrange, kBlue, kLavender, kSalmon, kGold};
    std::vector<PaletteEntry> palette{{0, 0, 0}};
    for (Rgb c : used) {
        std::vector<PaletteEntry> ramp;
        AppendRamp(ramp, kBlack, c, 52);
        palette.insert(palette.end(), ramp.begin() + 1, ramp.end());
    }
    return palette;
}

// A block of the left column with its number in black near the lower right.
void PaintBlock(Canvas& canvas, RoundRect block, Rgb colour, const char* number, float cell) {
    canvas.Paint(block, colour);
    Label label{number, 0.0f, 0.0f, cell};
    label.x = block.x1 - cell * 2.0f - label.Width();
    label.y = block.y1 - cell * 7.0f;
    if (label.y > block.y0 + cell) {
        canvas.Paint(label, kBlack);
    }
}

} // namespace

RgbImage DrawButton(Rgb face, bool pressed) {
    Canvas canvas(kButtonWidth, kButtonHeight, kBlack, 1.0f);
    canvas.Paint(ButtonShape(), pressed ? Lighten(face, 0.45f) : face);
    return ToRgb(canvas);
}

IndexedImage DrawButtonMask() {
    IndexedImage mask;
    mask.width = kButtonWidth;
    mask.height = kButtonHeight;
    mask.bits = 8;
    mask.palette = {{kMaskOutside, kMaskOutside, kMaskOutside},
                    {kMaskInside, kMaskInside, kMaskInside}};
    RoundRect shape = ButtonShape();
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            // Any pixel the face touches belongs to the button, so the
            // antialiased rim (blended towards black) is drawn, not cut.
            bool inside = Canvas::Coverage(shape, x, y) > 0.0f;
            mask.indices.push_back(inside ? 1 : 0);
        }
    }
    return mask;
}

// 550 x 350. The list sits right of x 122 and below y 31, the progress strip
// at y 25..31, the buttons right of x 103 and between y 274 and 334: the bar
// ends at y 20 and the column at x 92.
IndexedImage DrawMainBackground() {
    Canvas canvas(550, 350, kBlack, 1.0f);
    canvas.Paint(Elbow{4, 4, 92, 96, 330, 20, 36, 14}, kOrange);
    canvas.Paint(Box(334, 4, 430, 20), kLavender);
    canvas.Paint(RoundRect{434, 4, 546, 20, 0, 8, 8, 0}, kBlue);
    Label barLabel{"47-8812", 0, 7, 2};
    barLabel.x = 326 - barLabel.Width();
    canvas.Paint(barLabel, kBlack);

    PaintBlock(canvas, Box(4, 100, 92, 152), kBlue, "04", 2);
    PaintBlock(canvas, Box(4, 156, 92, 236), kLavender, "11-07", 2);
    PaintBlock(canvas, Box(4, 240, 92, 258), kGold, "", 2);
    PaintBlock(canvas, RoundRect{4, 262, 92, 346, 0, 0, 0, 24}, kSalmon, "6-330", 2);
    return Quantize(canvas, PanelPalette(), 8);
}

// 400 x 100. Black is kept for the version text (x 45..185, y 30..42), the
// CONFIRM button (x 66..165, y 54..88), the icon (x 285..320, y 22..56) and
// the notice line (x 227..364, y 62..74).
IndexedImage DrawAboutBackground() {
    Canvas canvas(400, 100, kBlack, 1.0f);
    canvas.Paint(Elbow{4, 4, 30, 44, 238, 14, 18, 8}, kOrange);
    canvas.Paint(Box(242, 4, 306, 14), kLavender);
    canvas.Paint(RoundRect{310, 4, 396, 14, 0, 5, 5, 0}, kBlue);
    canvas.Paint(Box(4, 48, 30, 70), kBlue);
    canvas.Paint(RoundRect{4, 74, 30, 96, 0, 0, 0, 12}, kLavender);
    return Quantize(canvas, PanelPalette(), 8);
}

} // namespace artgen
