// Which top-level windows the window list offers as targets. The rule works
// on facts the Win32 side has gathered about one window, so it can be
// checked without a desktop full of windows.
#pragma once
#include "framework/Portable.h"

// At most this many windows are listed; enumeration stops at the cap.
constexpr int kMaxListedWindows = 100;

// Why a window is left out, in the order the rules are tried: the first rule
// that holds decides.
enum class Qualify {
    Qualifies = 0,
    EmptyTitle,     // no title
    IsDialog,       // our own main dialog
    WarpCoilClass,  // class name contains "warp coil window class"
    WarpShipClass,  // class name is "warp ship window class"
    NotVisible,     // IsWindowVisible is false
    NoRect,         // GetWindowRect failed
    BeyondScreen,   // left > screen width or top > screen height
    NegativeOrigin, // left < 0 or top < 0 (also minimised windows)
    NoClassIcon,    // the class has no icon
};

struct WindowFacts {
    const char* title = nullptr; // null counts as empty
    bool isDialog = false;
    const char* className = nullptr; // null counts as empty
    bool visible = false;
    bool rectOk = false;
    Rect32 rect = {0, 0, 0, 0};
    Size32 screen = {0, 0};    // primary screen size
    bool hasClassIcon = false; // the caller decides how it learns this
};

Qualify QualifyWindow(const WindowFacts& facts);

// True once `count` windows are listed: enumeration must stop.
inline bool WindowListFull(int count) {
    return count >= kMaxListedWindows;
}
