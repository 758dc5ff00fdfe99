#include "windowlist/Qualify.h"

#include <cstring>

namespace {

// The coil classes carry a tick-count suffix, so they are matched as a
// case-sensitive substring; the single ship class is matched whole.
constexpr const char* kCoilClass = "warp coil window class";
constexpr const char* kShipClass = "warp ship window class";
// Where the desktop has no notification area, Wine shows the tray icons in a
// titled window of its own; the taskbar that holds them on Windows has no
// title and never qualifies.
constexpr const char* kWineTrayClass = "__winex11_standalone_tray";

bool IsEmpty(const char* text) {
    return !text || !*text;
}

} // namespace

Qualify QualifyWindow(const WindowFacts& facts) {
    const char* className = facts.className ? facts.className : "";
    if (IsEmpty(facts.title))
        return Qualify::EmptyTitle;
    if (facts.isDialog)
        return Qualify::IsDialog;
    if (facts.isShellDesktop)
        return Qualify::ShellDesktop;
    if (std::strcmp(className, kWineTrayClass) == 0)
        return Qualify::TrayIcons;
    if (std::strstr(className, kCoilClass))
        return Qualify::WarpCoilClass;
    if (std::strcmp(className, kShipClass) == 0)
        return Qualify::WarpShipClass;
    if (!facts.visible)
        return Qualify::NotVisible;
    if (facts.cloaked)
        return Qualify::Cloaked;
    if (!facts.rectOk)
        return Qualify::NoRect;
    if (facts.rect.left > facts.screen.cx || facts.rect.top > facts.screen.cy)
        return Qualify::BeyondScreen;
    if (facts.rect.left < 0 || facts.rect.top < 0)
        return Qualify::NegativeOrigin;
    if (!facts.hasClassIcon)
        return Qualify::NoClassIcon;
    return Qualify::Qualifies;
}

Rect32 ScreenRect(const Rect32& window, bool frameOk, const Rect32& frame) {
    const bool bInside = frame.left >= window.left && frame.top >= window.top &&
                         frame.right <= window.right && frame.bottom <= window.bottom;
    const bool bEmpty = frame.right <= frame.left || frame.bottom <= frame.top;
    return frameOk && bInside && !bEmpty ? frame : window;
}
