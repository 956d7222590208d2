// The progress bar's numbers where the control takes only a 16-bit range
// (common controls 4.00): every logical position lands inside the control's
// range, the ends meet, and the logic reads back its own numbers.
#include <gtest/gtest.h>

#include "host/win/ProgressScale.h"

TEST(ProgressScale, NarrowControlGetsScaledPositionsOfALargeRange) {
    ProgressScale bar(false);
    bar.SetRange(0, 327680);  // a whole image in bytes
    EXPECT_EQ(bar.ControlMin(), 0);
    EXPECT_EQ(bar.ControlMax(), ProgressScale::kNarrowMax);
    int last = -1;
    for (int position = 0; position <= 327680; position += 16384) {
        bar.SetPosition(position);
        EXPECT_EQ(bar.Position(), position);  // the logic sees its own numbers
        EXPECT_GE(bar.ControlPosition(), 0);
        EXPECT_LE(bar.ControlPosition(), ProgressScale::kNarrowMax);
        EXPECT_GT(bar.ControlPosition(), last);  // every chunk moves the bar
        last = bar.ControlPosition();
    }
    EXPECT_EQ(last, ProgressScale::kNarrowMax);  // full at the end
    bar.SetRange(0, 2000000000);                 // no overflow near the int limit
    bar.SetPosition(1999999999);
    EXPECT_EQ(bar.ControlPosition(), ProgressScale::kNarrowMax - 1);
}

TEST(ProgressScale, SmallRangesPassUnscaledAndWideControlsGetLogicalNumbers) {
    ProgressScale narrow(false), wide(true);
    for (ProgressScale* bar : {&narrow, &wide}) {
        bar->SetRange(0, 200);
        bar->SetPosition(198);
        EXPECT_EQ(bar->ControlPosition(), 198);
        EXPECT_EQ(bar->ControlMax(), 200);
    }
    wide.SetRange(0, 327680);
    wide.SetPosition(163840);
    EXPECT_EQ(wide.ControlMax(), 327680);
    EXPECT_EQ(wide.ControlPosition(), 163840);
    narrow.SetRange(100, 300);  // a minimum other than 0 is moved to 0
    narrow.SetPosition(150);
    EXPECT_EQ(narrow.ControlMin(), 0);
    EXPECT_EQ(narrow.ControlMax(), 200);
    EXPECT_EQ(narrow.ControlPosition(), 50);
}

TEST(ProgressScale, PositionsStayInRangeAndStepsStartOverPastTheEnd) {
    ProgressScale bar(false);
    bar.SetRange(0, 100000);
    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
    bar.SetPosition(100001);
    EXPECT_EQ(bar.Position(), 100000);
    bar.SetRange(0, 5000);  // a new range keeps the position inside it
    EXPECT_EQ(bar.Position(), 5000);
    bar.SetPosition(0);
    bar.SetStep(1024);
    for (int i = 0; i < 4; ++i) bar.StepIt();
    EXPECT_EQ(bar.Position(), 4096);
    bar.StepIt();  // 5120 is past 5000: starts over, as the control does
    EXPECT_EQ(bar.Position(), 120);
}
