// The system's error code shown to the user is the one the failing call
// left, whatever ran in between (a message box or a repaint may change the
// thread's last error on Windows), and its text is shown as the system has it.
#include <gtest/gtest.h>

#include "drive/CDDrive.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"

namespace {

class SystemErrors : public ::testing::Test {
  protected:
    SimOs os;
    FakeForm form;
    void SetUp() override {
        os.platformId = kPlatformWin32Nt;
        CDDrive::Attach(&os, &form);
        // What a box or a repaint may leave as the thread's last error.
        form.duringBox = [this] { os.lastError = kErrorInvalidWindowHandle; };
        form.duringRepaint = form.duringBox;
    }
    void TearDown() override { CDDrive::Attach(nullptr, nullptr); }
};

TEST_F(SystemErrors, BothOpenBoxesShowTheCodeCreateFileLeft) {
    os.FailOpen('D', kErrorAccessDenied);
    {
        CDDrive bad('D', 0, 0, 0);
        EXPECT_EQ(bad.LastSystemError, kErrorAccessDenied);
        EXPECT_EQ(bad.ErrorText(), "00 00 00. 00, 0005");
    }
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(form.boxes[0].text, "Error opening: 5, Drive: \\\\.\\D:");
    EXPECT_EQ(form.boxes[1].text, "SenseCode: 00 00 00, 00, Error: 5, Access is denied.\r\n");
    EXPECT_EQ(form.boxes[1].kind, BoxKind::Plain);
    EXPECT_EQ(form.boxes[1].buttons, BoxButtons::Ok);
}

TEST_F(SystemErrors, AFailedCommandShowsTheCodeItsCallLeft) {
    os.FailOpen('D', kErrorAccessDenied);  // turns reporting on
    { CDDrive bad('D', 0, 0, 0); }
    VirtualDrive& e = os.AddCdrom('E');
    CDDrive good('E', 0, 0, 0);
    ASSERT_EQ(CDDrive::LoadState(), 0);
    form.boxes.clear();
    e.FailTransport(0x00, 1);
    EXPECT_EQ(good.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0), 0);
    EXPECT_EQ(good.LastSystemError, kErrorIoDevice);
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text,
              "SenseCode: 00 00 00, 00, Error: 1117, The request could not be performed because "
              "of an I/O device error.\r\n");
}

// A system text with an insert (%1) is fetched with its inserts left as they
// stand: expanding them without arguments fails or, on old systems, faults.
TEST_F(SystemErrors, TextsWithInsertsAreShownAsTheSystemHasThem) {
    os.FailOpen('D', kErrorBadExeFormat);
    { CDDrive bad('D', 0, 0, 0); }
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(form.boxes[1].text,
              "SenseCode: 00 00 00, 00, Error: 193, %1 is not a valid Win32 application.\r\n");
    EXPECT_EQ(os.lastFormatFlags, kFormatMessageFromSystem | kFormatMessageIgnoreInserts);
    EXPECT_EQ(os.lastFormatFlags, 0x1200u);
}

}  // namespace
