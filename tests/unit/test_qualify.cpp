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
    EXPECT_EQ(QualifyWindow(f), Qualify::IsDialog);
    f.isDialog = false;
    f.className = "warp coil window class warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpCoilClass);
    f.className = "warp ship window class";
    EXPECT_EQ(QualifyWindow(f), Qualify::WarpShipClass);
    f.className = "C";
    EXPECT_EQ(QualifyWindow(f), Qualify::NotVisible); // rect and icon also missing
    f.visible = true;
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

TEST(Qualify, ListStopsAtAHundred) {
    EXPECT_FALSE(WindowListFull(0));
    EXPECT_FALSE(WindowListFull(99));
    EXPECT_TRUE(WindowListFull(100));
    EXPECT_TRUE(WindowListFull(101));
}

} // namespace
