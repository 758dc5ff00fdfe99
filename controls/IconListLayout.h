// Geometry and colour choices of the icon list box items, kept apart from
// the drawing calls so that the arithmetic can be checked on its own.
#pragma once
#include "framework/Portable.h"

#include <cstdint>

// Selection styles: what a selected item highlights (and frames when focused).
enum : uint8_t {
    SEL_STYLE_FULLROW = 0,    // the whole item
    SEL_STYLE_TEXTCOLUMN = 1, // the text column
    SEL_STYLE_TEXTONLY = 2,   // only the text's bounding rectangle
};

inline bool IsSelectionStyle(uint8_t style) {
    return style <= SEL_STYLE_TEXTONLY;
}

// Icon size of the attached image list; 0 x 0 without one.
struct IconMetrics {
    bool hasImageList;
    int32_t cxIcon;
    int32_t cyIcon;
};

// Item height from the measured text height: with an image list at least
// the icon plus 4, and 4 more around it all.
int32_t IconItemHeight(int32_t textHeight, const IconMetrics& icons);

// Icon column of an item: icon plus a 3-pixel margin on either side and 4
// pixels of height; the empty rectangle without an image list.
Rect32 IconColumnRect(const Rect32& item, const IconMetrics& icons);

// Text column: the item to the right of the icon column.
Rect32 TextColumnRect(const Rect32& item, const Rect32& iconColumn);

// Centres the text extent (as DT_CALCRECT left it: the column's top-left
// corner, the wrapped text's size) vertically in the column. The offset is
// halved with truncation toward zero, so a text taller than the item moves up.
Rect32 CentredTextRect(const Rect32& textColumn, const Rect32& textExtent);

// The flat scroll bar is shown once the items, each counted as the icon
// height plus 8, fill the client height.
bool ScrollBarShown(int32_t itemCount, const IconMetrics& icons, int32_t clientHeight);

// Area painted with the item's background colour.
Rect32 ItemBackgroundRect(uint8_t style, const Rect32& textColumn, const Rect32& textRect);

// Where the focus rectangle goes, for an item that is focused and enabled.
Rect32 FocusRect(uint8_t style, const Rect32& item, const Rect32& textColumn,
                 const Rect32& textRect);
inline bool FocusRectDrawn(bool focus, bool disabled) {
    return focus && !disabled;
}

struct ListColours {
    uint32_t crBack;
    uint32_t crHighlight;
    uint32_t crText;
    uint32_t crGrayText; // the system's COLOR_GRAYTEXT
};

struct ItemColours {
    uint32_t text;
    uint32_t back;     // text column or text bounds
    uint32_t iconBack; // icon column
};

ItemColours ChooseItemColours(const ListColours& colours, uint8_t style, bool selected,
                              bool disabled);
