// The main window's growth: the designed layout is the minimum, widths grow
// together up to the screen's limit, a taller label pushes the rest down.
#include <gtest/gtest.h>

#include "host/win/WindowLayout.h"

namespace {
int Right(const LayoutRect& r) {
    return r.left + r.width;
}
int Bottom(const LayoutRect& r) {
    return r.top + r.height;
}
}  // namespace

TEST(WindowLayout, TextsThatFitLeaveTheDesignAsItIs) {
    WindowLayout layout;
    EXPECT_FALSE(layout.FitLabelWidth(369));
    EXPECT_FALSE(layout.FitWideControls(385));
    EXPECT_FALSE(layout.FitLabelHeight(16));
    EXPECT_FALSE(layout.FitWideControls(-5));
    EXPECT_EQ(layout.ClientWidth(), 425);
    EXPECT_EQ(layout.ClientHeight(), 201);
    const LayoutRect label = layout.Label(), group = layout.Group();
    EXPECT_EQ((std::vector<int>{label.left, label.top, label.width, label.height}),
              (std::vector<int>{16, 16, 369, 25}));
    EXPECT_EQ((std::vector<int>{group.left, group.top, group.width, group.height}),
              (std::vector<int>{16, 128, 385, 49}));
    EXPECT_EQ(layout.Progress().left, 24);
    EXPECT_EQ(layout.Progress().top, 144);
    EXPECT_EQ(layout.Button().left, 336);
    EXPECT_EQ(layout.Button().width, 57);
}

TEST(WindowLayout, WidthsGrowTogetherAndNeverShrink) {
    WindowLayout layout;
    EXPECT_TRUE(layout.FitWideControls(500));  // a long status text
    EXPECT_EQ(layout.Group().width, 500);
    EXPECT_EQ(layout.Combo().width, 500);
    EXPECT_EQ(layout.FileList().width, 500);
    EXPECT_EQ(layout.Label().width, 484);
    EXPECT_EQ(layout.ClientWidth(), 540);
    // Right margins as designed; the button stays at the group box's right end.
    EXPECT_EQ(layout.ClientWidth() - Right(layout.Group()), 24);
    EXPECT_EQ(Right(layout.Group()) - Right(layout.Button()), 8);
    EXPECT_EQ(layout.Button().left - Right(layout.Progress()), 7);
    EXPECT_EQ(layout.Button().width, 57);

    EXPECT_FALSE(layout.FitWideControls(450));  // a shorter text later: no shrinking
    EXPECT_FALSE(layout.FitLabelWidth(400));
    EXPECT_EQ(layout.Group().width, 500);
    EXPECT_TRUE(layout.FitLabelWidth(520));  // the label's own need counts too
    EXPECT_EQ(layout.Label().width, 520);
    EXPECT_EQ(layout.Group().width, 536);
}

TEST(WindowLayout, GrowthStopsAtTheWidestClientTheScreenAllows) {
    WindowLayout layout(632);  // a 640-pixel screen less the frame
    EXPECT_TRUE(layout.FitLabelWidth(900));
    EXPECT_EQ(layout.ClientWidth(), 632);
    EXPECT_EQ(layout.Label().width, 576);  // narrower than asked: the caller wraps
    EXPECT_FALSE(layout.FitWideControls(900));

    WindowLayout narrow(300);  // a screen narrower than the design keeps the design
    EXPECT_FALSE(narrow.FitWideControls(900));
    EXPECT_EQ(narrow.ClientWidth(), 425);
}

TEST(WindowLayout, TallerLabelPushesEverythingBelowDown) {
    WindowLayout layout;
    EXPECT_TRUE(layout.FitLabelHeight(48));  // three lines of 16 pixels
    EXPECT_EQ(layout.ExtraHeight(), 24);
    EXPECT_EQ(layout.ClientHeight(), 225);
    EXPECT_GE(layout.Combo().top, layout.Label().top + 48);
    EXPECT_EQ(layout.Combo().top, 64);
    EXPECT_EQ(layout.FileList().top, 96);
    EXPECT_EQ(layout.Group().top, 152);
    EXPECT_EQ(layout.Progress().top, 168);
    EXPECT_EQ(layout.Button().top, 168);
    EXPECT_EQ(layout.ClientHeight() - Bottom(layout.Group()), 201 - 177);
    EXPECT_FALSE(layout.FitLabelHeight(32));  // never shrinks
    EXPECT_EQ(layout.ClientHeight(), 225);
}
