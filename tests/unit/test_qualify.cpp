#include "windowlist/Qualify.h"

#include <gtest/gtest.h>

namespace {

WindowFacts Listable() {
    WindowFacts f;
    f.title = "Untitled - Notepad";
    f.className = "Notepad";
    f.visible = true;
    f.rectOk = true;
    f.rect = {10, 20, 400, 300};
    f.screen = {1024, 768};
    f.hasClassIcon = true;
    return f;
}

TEST(Qualify, EachRuleLeavesTheWindowOut) {
    EXPECT_EQ(QualifyWindow(Listable()), Qualify::Qualifies);
    WindowFacts f = Listable();
    f.title = "";
    EXPECT_EQ(QualifyWindow(f), Qualify::EmptyTitle);
    f.title = nullptr;
    EXPECT_EQ(QualifyWindow(f), Qualify::EmptyTitle);
    f = Listable();
    f.isDialog = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::IsDialog);
    f = Listable();
    f.className = "warp coil window class0001a2b3";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpCoilClass);
    f.className = "Warp Coil Window Class0001a2b3"; // case matters
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
    f.className = "warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpShipClass);
    f.className = "warp ship window class2"; // whole name only
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
    f = Listable();
    f.visible = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::NotVisible);
    f = Listable();
    f.rectOk = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::NoRect);
    f = Listable();
    f.hasClassIcon = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::NoClassIcon);
    f = Listable();
    f.className = nullptr;
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
}

TEST(Qualify, FirstHoldingRuleWins) {
    WindowFacts f;
    f.title = "";
    f.isDialog = true;
    f.className = "warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::EmptyTitle);
    f.title = "x";
    f.isShellDesktop = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::IsDialog);
    f.isDialog = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::ShellDesktop);
    f.className = "__winex11_standalone_tray";
    EXPECT_EQ(QualifyWindow(f), Qualify::ShellDesktop);
    f.isShellDesktop = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::TrayIcons);
    f.className = "warp coil window class warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpCoilClass);
    f.className = "warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpShipClass);
    f.className = "C";
    f.cloaked = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::NotVisible); // rect and icon also missing
    f.visible = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::Cloaked);
    f.cloaked = false;
    EXPECT_EQ(QualifyWindow(f), Qualify::NoRect);
    // Both position rules hold: the far one is tried first.
    f.rectOk = true;
    f.screen = {800, 600};
    f.rect = {900, -5, 1000, 100};
    EXPECT_EQ(QualifyWindow(f), Qualify::BeyondScreen);
    f.rect = {-32000, -32000, -31840, -31973}; // minimised
    EXPECT_EQ(QualifyWindow(f), Qualify::NegativeOrigin);
}

TEST(Qualify, ScreenEdges) {
    WindowFacts f = Listable();
    f.rect = {1024, 768, 1200, 900}; // exactly at the screen size: still listed
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
    f.rect = {1025, 0, 1200, 100};
    EXPECT_EQ(QualifyWindow(f), Qualify::BeyondScreen);
    f.rect = {0, 769, 100, 900};
    EXPECT_EQ(QualifyWindow(f), Qualify::BeyondScreen);
    f.rect = {-1, 0, 100, 100}; // frame overhanging the left edge
    EXPECT_EQ(QualifyWindow(f), Qualify::NegativeOrigin);
    f.rect = {0, -1, 100, 100};
    EXPECT_EQ(QualifyWindow(f), Qualify::NegativeOrigin);
    f.rect = {0, 0, 1, 1};
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
}

// The shell's desktop, the window of the tray icons and a cloaked window
// are left out however listable the rest of their facts are.
TEST(Qualify, ShellDesktopAndCloakedWindowsAreNotTargets) {
    WindowFacts f = Listable();
    f.isShellDesktop = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::ShellDesktop);
    f = Listable();
    f.title = "Wine System Tray";
    f.className = "__winex11_standalone_tray";
    EXPECT_EQ(QualifyWindow(f), Qualify::TrayIcons);
    f.className = "__winex11_standalone_tray2"; // whole name only
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
    f.title = ""; // the taskbar on Windows
    f.className = "Shell_TrayWnd";
    EXPECT_EQ(QualifyWindow(f), Qualify::EmptyTitle);
    f = Listable();
    f.cloaked = true;
    EXPECT_EQ(QualifyWindow(f), Qualify::Cloaked);
}

TEST(ScreenRect, TheVisibleFrameWhereItLiesWithinTheWindow) {
    const Rect32 snapped = {-7, 0, 967, 1047}; // snapped to the left edge
    const Rect32 visible = {0, 0, 960, 1040};
    EXPECT_EQ(ScreenRect(snapped, true, visible), visible);
    EXPECT_EQ(ScreenRect(snapped, false, visible), snapped);
    EXPECT_EQ(ScreenRect(snapped, true, snapped), snapped); // no invisible borders
    // Physical pixels beside a rectangle scaled down by 1.5: not one space.
    EXPECT_EQ(ScreenRect({100, 100, 500, 400}, true, {150, 150, 750, 600}),
              (Rect32{100, 100, 500, 400}));
    EXPECT_EQ(ScreenRect(snapped, true, {-8, 0, 960, 1040}), snapped);
    EXPECT_EQ(ScreenRect(snapped, true, {0, -1, 960, 1040}), snapped);
    EXPECT_EQ(ScreenRect(snapped, true, {0, 0, 968, 1040}), snapped);
    EXPECT_EQ(ScreenRect(snapped, true, {0, 0, 960, 1048}), snapped);
    EXPECT_EQ(ScreenRect(snapped, true, {10, 10, 10, 500}), snapped); // empty
    EXPECT_EQ(ScreenRect(snapped, true, {10, 10, 500, 10}), snapped);
}

// A window snapped to the left edge is listed by its visible frame; a
// maximised one likewise.
TEST(Qualify, ListedByTheVisibleFrame) {
    WindowFacts f = Listable();
    f.rect = ScreenRect({-7, 0, 967, 1047}, true, {0, 0, 960, 1040});
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
    f.rect = ScreenRect({-8, -8, 1032, 776}, true, {0, 0, 1024, 768});
    EXPECT_EQ(QualifyWindow(f), Qualify::Qualifies);
}

TEST(Qualify, ListStopsAtAHundred) {
    EXPECT_FALSE(WindowListFull(0));
    EXPECT_FALSE(WindowListFull(99));
    EXPECT_TRUE(WindowListFull(100));
    EXPECT_TRUE(WindowListFull(101));
}

} // namespace
