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
    ShellDesktop,   // the shell's desktop window
    TrayIcons,      // Wine's stand-in for the taskbar's notification area
    WarpCoilClass,  // class name contains "warp coil window class"
    WarpShipClass,  // class name is "warp ship window class"
    NotVisible,     // IsWindowVisible is false
    Cloaked,        // the compositor keeps it off screen
    NoRect,         // the window has no rectangle
    BeyondScreen,   // left > screen width or top > screen height
    NegativeOrigin, // left < 0 or top < 0 (also minimised windows)
    NoClassIcon,    // the class has no icon
};

struct WindowFacts {
    const char* title = nullptr; // null counts as empty
    bool isDialog = false;
    bool isShellDesktop = false;
    const char* className = nullptr; // null counts as empty
    bool visible = false;
    bool cloaked = false;
    bool rectOk = false;
    Rect32 rect = {0, 0, 0, 0}; // what the window covers on screen (ScreenRect)
    Size32 screen = {0, 0};     // primary screen size, in the space of rect
    bool hasClassIcon = false;  // the caller decides how it learns this
};

Qualify QualifyWindow(const WindowFacts& facts);

// The rectangle a window covers on screen: the visible frame the compositor
// reports (frameOk) when it is not empty and lies within the window
// rectangle, which includes the invisible resize borders; otherwise the
// window rectangle. A frame reported in physical pixels beside a window
// rectangle scaled for a program without DPI awareness does not lie within
// it, and is not used.
Rect32 ScreenRect(const Rect32& window, bool frameOk, const Rect32& frame);

// True once `count` windows are listed: enumeration must stop.
inline bool WindowListFull(int count) {
    return count >= kMaxListedWindows;
}
