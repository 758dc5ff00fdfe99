#include "controls/IconListLayout.h"

#include <gtest/gtest.h>

namespace {

constexpr IconMetrics kIcons32 = {true, 32, 32};
constexpr IconMetrics kNoIcons = {false, 0, 0};

TEST(IconListLayout, ItemHeight) {
    EXPECT_EQ(IconItemHeight(16, kIcons32), 40); // one line beside a 32-pixel icon
    EXPECT_EQ(IconItemHeight(36, kIcons32), 40);
    EXPECT_EQ(IconItemHeight(37, kIcons32), 41); // text taller than the icon
    EXPECT_EQ(IconItemHeight(16, kNoIcons), 20);
}

TEST(IconListLayout, ColumnsAndCentring) {
    const Rect32 item = {0, 80, 300, 120};
    const Rect32 icon = IconColumnRect(item, kIcons32);
    EXPECT_EQ(icon, (Rect32{0, 80, 38, 116}));
    const Rect32 text = TextColumnRect(item, icon);
    EXPECT_EQ(text, (Rect32{38, 80, 300, 120}));
    // One 16-pixel line in a 40-pixel column: 12 down.
    EXPECT_EQ(CentredTextRect(text, {38, 80, 150, 96}), (Rect32{38, 92, 150, 108}));
    // Odd difference: 40 - 15 = 25, halved to 12.
    EXPECT_EQ(CentredTextRect(text, {38, 80, 150, 95}).top, 92);
    // Taller than the item: 40 - 49 = -9, halved toward zero to -4 (not -5).
    EXPECT_EQ(CentredTextRect(text, {38, 80, 150, 129}), (Rect32{38, 76, 150, 125}));

    // Without an image list the text starts at the item's left edge.
    const Rect32 none = IconColumnRect({5, 80, 300, 100}, kNoIcons);
    EXPECT_EQ(none, (Rect32{0, 0, 0, 0}));
    EXPECT_EQ(TextColumnRect({0, 80, 300, 100}, none), (Rect32{0, 80, 300, 100}));
}

TEST(IconListLayout, ScrollBarRule) {
    EXPECT_FALSE(ScrollBarShown(5, kIcons32, 240));
    EXPECT_TRUE(ScrollBarShown(6, kIcons32, 240));
    EXPECT_FALSE(ScrollBarShown(29, kNoIcons, 240));
    EXPECT_TRUE(ScrollBarShown(30, kNoIcons, 240));
    EXPECT_TRUE(ScrollBarShown(0, kIcons32, 0));
    EXPECT_TRUE(ScrollBarShown(0x7FFFFFFF, kIcons32, 0x7FFFFFFF)); // no wrap-around
}

TEST(IconListLayout, AreasBySelectionStyle) {
    const Rect32 item = {0, 0, 300, 40}, text = {38, 0, 300, 40}, bounds = {38, 12, 150, 28};
    EXPECT_EQ(ItemBackgroundRect(SEL_STYLE_FULLROW, text, bounds), text);
    EXPECT_EQ(ItemBackgroundRect(SEL_STYLE_TEXTCOLUMN, text, bounds), text);
    EXPECT_EQ(ItemBackgroundRect(SEL_STYLE_TEXTONLY, text, bounds), bounds);
    EXPECT_EQ(FocusRect(SEL_STYLE_FULLROW, item, text, bounds), item);
    EXPECT_EQ(FocusRect(SEL_STYLE_TEXTCOLUMN, item, text, bounds), text);
    EXPECT_EQ(FocusRect(SEL_STYLE_TEXTONLY, item, text, bounds), bounds);
    EXPECT_TRUE(FocusRectDrawn(true, false));
    EXPECT_FALSE(FocusRectDrawn(true, true));
    EXPECT_FALSE(FocusRectDrawn(false, false));
    EXPECT_TRUE(IsSelectionStyle(2));
    EXPECT_FALSE(IsSelectionStyle(3));
}

TEST(IconListLayout, ItemColours) {
    const ListColours c = {0x111111, 0x800000, 0xFFFFFF, 0x808080};
    ItemColours k = ChooseItemColours(c, SEL_STYLE_FULLROW, true, false);
    EXPECT_EQ(k.text, 0x000000u); // white text turns black
    EXPECT_EQ(k.back, 0x800000u);
    EXPECT_EQ(k.iconBack, 0x800000u);
    // Only the full-row style highlights the icon column.
    k = ChooseItemColours(c, SEL_STYLE_TEXTCOLUMN, true, false);
    EXPECT_EQ(k.back, 0x800000u);
    EXPECT_EQ(k.iconBack, 0x111111u);
    // Disabled wins over selected everywhere.
    k = ChooseItemColours(c, SEL_STYLE_FULLROW, true, true);
    EXPECT_EQ(k.text, 0x808080u);
    EXPECT_EQ(k.back, 0x111111u);
    EXPECT_EQ(k.iconBack, 0x111111u);
    k = ChooseItemColours(c, SEL_STYLE_FULLROW, false, false);
    EXPECT_EQ(k.text, 0xFFFFFFu);
    EXPECT_EQ(k.back, 0x111111u);
    EXPECT_EQ(k.iconBack, 0x111111u);
    EXPECT_EQ(ChooseItemColours({0, 0, 0x123456, 0}, 0, true, false).text, 0xEDCBA9u);
}

} // namespace
