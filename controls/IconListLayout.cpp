#include "controls/IconListLayout.h"

namespace {

int32_t Height(const Rect32& r) {
    return r.bottom - r.top;
}

} // namespace

int32_t IconItemHeight(int32_t textHeight, const IconMetrics& icons) {
    int32_t height = textHeight;
    if (icons.hasImageList && height < icons.cyIcon + 4)
        height = icons.cyIcon + 4;
    return height + 4;
}

Rect32 IconColumnRect(const Rect32& item, const IconMetrics& icons) {
    if (!icons.hasImageList)
        return {0, 0, 0, 0};
    return {item.left, item.top, item.left + icons.cxIcon + 6, item.top + icons.cyIcon + 4};
}

Rect32 TextColumnRect(const Rect32& item, const Rect32& iconColumn) {
    return {iconColumn.right, item.top, item.right, item.bottom};
}

Rect32 CentredTextRect(const Rect32& textColumn, const Rect32& textExtent) {
    // C++ division truncates toward zero, as the centring wants.
    const int32_t offset = (Height(textColumn) - Height(textExtent)) / 2;
    return {textExtent.left, textExtent.top + offset, textExtent.right, textExtent.bottom + offset};
}

bool ScrollBarShown(int32_t itemCount, const IconMetrics& icons, int32_t clientHeight) {
    // 64-bit so that a long list cannot wrap the product.
    const int64_t rowHeight = static_cast<int64_t>(icons.cyIcon) + 8;
    return static_cast<int64_t>(itemCount) * rowHeight >= clientHeight;
}

Rect32 ItemBackgroundRect(uint8_t style, const Rect32& textColumn, const Rect32& textRect) {
    return style == SEL_STYLE_TEXTONLY ? textRect : textColumn;
}

Rect32 FocusRect(uint8_t style, const Rect32& item, const Rect32& textColumn,
                 const Rect32& textRect) {
    switch (style) {
    case SEL_STYLE_FULLROW:
        return item;
    case SEL_STYLE_TEXTCOLUMN:
        return textColumn;
    default:
        return textRect;
    }
}

ItemColours ChooseItemColours(const ListColours& colours, uint8_t style, bool selected,
                              bool disabled) {
    ItemColours out;
    const bool rowHighlight = selected && style == SEL_STYLE_FULLROW && !disabled;
    out.iconBack = rowHighlight ? colours.crHighlight : colours.crBack;
    if (disabled) {
        out.text = colours.crGrayText;
        out.back = colours.crBack;
    } else if (selected) {
        out.text = colours.crText ^ 0xFFFFFF;
        out.back = colours.crHighlight;
    } else {
        out.text = colours.crText;
        out.back = colours.crBack;
    }
    return out;
}
