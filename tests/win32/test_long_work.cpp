// The long-work guard answers the session and power queries only while a
// flash or build runs, whatever reason the handler named.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/win/LongWork.h"

TEST(LongWork, RefusesEndOfSessionAndSuspendOnlyWhileItRuns) {
    LongWork work;
    LRESULT result = 12345;
    EXPECT_FALSE(work.Answer(WM_QUERYENDSESSION, 0, result));
    EXPECT_FALSE(work.Answer(WM_POWERBROADCAST, 0, result));

    work.Begin(nullptr, L"A flasher is being written.");
    ASSERT_TRUE(work.Answer(WM_QUERYENDSESSION, 0, result));
    EXPECT_EQ(result, FALSE);
    ASSERT_TRUE(work.Answer(WM_POWERBROADCAST, 0 /* PBT_APMQUERYSUSPEND */, result));
    EXPECT_EQ(result, LRESULT(0x424D5144)) << "BROADCAST_QUERY_DENY";
    EXPECT_FALSE(work.Answer(WM_POWERBROADCAST, 7 /* PBT_APMRESUMESUSPEND */, result));
    EXPECT_FALSE(work.Answer(WM_CLOSE, 0, result)) << "closing is the window's own affair";
    work.End(nullptr);

    EXPECT_FALSE(work.Answer(WM_QUERYENDSESSION, 0, result));
    work.Begin(nullptr, nullptr);  // no reason: still guarded
    EXPECT_TRUE(work.Answer(WM_QUERYENDSESSION, 0, result));
    work.End(nullptr);
}
