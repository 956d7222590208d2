// ASPI layers complete requests from their own thread: the data, sense and
// status first, the event last, and a request the program gave up on may
// still be completed long after. None of that may reach memory that another
// command, another drive or the window uses, and no event may be closed
// while the layer can still signal it.
#include <gtest/gtest.h>

#include <cstring>

#include "drive/CDDrive.h"
#include "drive/CDDrives.h"
#include "drive/DriveDataBuffer.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"
#include "tests/support/FlasherRig.h"

namespace {

VirtualDrive::Config Other() {
    VirtualDrive::Config c;
    c.vendor = "OTHERCO";
    c.product = "DVD-X 16";
    c.revision = "9Z99";
    return c;
}

bool Inside(const uint8_t* p, const uint8_t* begin, size_t size) {
    return p >= begin && p < begin + size;
}

class LateCompletion : public ::testing::Test {
  protected:
    SimOs os;
    FakeForm form;
    void SetUp() override {
        os.platformId = kPlatformWin32Windows;
        CDDrive::Attach(&os, &form);
    }
    void TearDown() override { CDDrive::Attach(nullptr, nullptr); }
};

// The INQUIRY of drive 0:0 times out and completes just after drive 0:1's
// INQUIRY, before the program reads 0:1's answer.
TEST_F(LateCompletion, ATimedOutInquiryNeverIdentifiesTheNextDrive) {
    os.AddAspiDrive(0, 0, FlasherRig::Model("1A10")).TimeOut(0x12, 1);
    os.AddAspiDrive(0, 1, Other());
    os.completeTimedOutAfterNextCommand = true;
    CDDrives drives;
    EXPECT_EQ(os.TimedOutRequests(), 0u);  // it did complete, late
    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Current->IdentLine, "0-1-0  : OTHERCO DVD-X 16        9Z99");
    EXPECT_EQ(drives.Current->ProductId(), "OTHERCO DVD-X 16        ");
    EXPECT_EQ(drives.Current->FirmwareRevision(), "9Z99");
}

// The same in the window: the eligibility test must judge 0:1 by its own
// identification, so the package's model (only 0:0) is not offered as 0:1.
TEST(LateCompletionWindow, ADriveIsNeverListedWithAnotherDrivesIdentification) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("1A10")).TimeOut(0x12, 1);  // 0:0
    rig.AddDrive(Other());                                     // 0:1
    rig.os.completeTimedOutAfterNextCommand = true;
    rig.Start();
    EXPECT_TRUE(rig.form.combo.empty());
    EXPECT_TRUE(rig.form.quitPosted);
    ASSERT_FALSE(rig.form.boxes.empty());
    EXPECT_NE(rig.form.boxes.back().text.find("0-1-0  : OTHERCO DVD-X 16        9Z99"),
              std::string::npos)
        << rig.form.boxes.back().text;
}

// A READ BUFFER that timed out completes while the next READ BUFFER is in
// flight: the shared buffer must hold the second command's data only.
TEST_F(LateCompletion, ATimedOutReadNeverWritesIntoTheSharedBuffer) {
    VirtualDrive& d = os.AddAspiDrive(0, 0);
    std::memset(d.bufferMemory.data(), 0x11, 0x4000);
    std::memset(d.bufferMemory.data() + 0x4000, 0x22, 0x4000);
    CDDrive drive(' ', 0, 0, 0);
    ASSERT_EQ(CDDrive::LoadState(), 0);
    DriveDataBuffer buffer;
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);

    d.TimeOut(0x3C, 1);
    std::memset(buffer.bytes, 0xEE, sizeof buffer.bytes);
    EXPECT_EQ(drive.Execute(0x3C, 1, 1, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, kDataIn, 0x4000), 0);
    EXPECT_EQ(drive.Status, 0);
    EXPECT_FALSE(drive.TransportOk());
    ASSERT_EQ(os.TimedOutRequests(), 1u);
    for (const uint8_t* area : os.PendingDataAreas())
        EXPECT_FALSE(Inside(area, buffer.bytes, sizeof buffer.bytes));
    EXPECT_EQ(buffer.bytes[0], 0xEE);  // nothing of the failed command arrived

    os.completeTimedOutAfterNextCommand = true;
    EXPECT_EQ(drive.Execute(0x3C, 1, 1, 0, 0x40, 0, 0, 0x40, 0, 0, 0, 0, kDataIn, 0x4000), 0x4000);
    EXPECT_EQ(os.TimedOutRequests(), 0u);
    size_t stale = 0;
    for (uint8_t b : buffer.bytes) stale += b != 0x22;
    EXPECT_EQ(stale, 0u);
}

// Data out: the layer reads what the caller put into the shared buffer.
TEST_F(LateCompletion, DataOutCarriesTheCallersBytes) {
    VirtualDrive& d = os.AddAspiDrive(0, 0);
    CDDrive drive(' ', 0, 0, 0);
    DriveDataBuffer buffer;
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    for (size_t i = 0; i < sizeof buffer.bytes; ++i) buffer.bytes[i] = uint8_t(i * 13);
    EXPECT_EQ(drive.Execute(0x3B, 5, 1, 0, 0x40, 0, 0, 0x40, 0, 0, 0, 0, kDataOut, 0x4000), 0x4000);
    EXPECT_EQ(std::memcmp(d.bufferMemory.data() + 0x4000, buffer.bytes, 0x4000), 0);
    // A read that times out leaves the caller's bytes as they were.
    d.TimeOut(0x3C, 1);
    os.completion = SimOs::Completion::Late;
    EXPECT_EQ(drive.Execute(0x3C, 1, 1, 0, 0x40, 0, 0, 0x00, 0x10, 0, 0, 0, kDataIn, 0x10), 0);
    EXPECT_EQ(buffer.bytes[0], 0);  // the timed-out read changed nothing
    EXPECT_EQ(buffer.bytes[1], 13);
}

// The own area is allocated once and reused while its request is not parked.
TEST_F(LateCompletion, ARequestsAreaIsReusedUntilItIsParked) {
    VirtualDrive& d = os.AddAspiDrive(0, 0);
    CDDrive drive(' ', 0, 0, 0);
    DriveDataBuffer buffer;
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    drive.Execute(0x3C, 1, 1, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, kDataIn, 0x4000);
    const uint8_t* area = +os.lastSrbIn.SRB_BufPointer;  // (+: a copy of the packed field)
    EXPECT_NE(area, buffer.bytes);
    for (int i = 0; i < 3; ++i) {
        drive.Execute(0x3C, 1, 1, 0, 0x40, 0, 0, 0x40, 0, 0, 0, 0, kDataIn, 0x4000);
        drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0);
        EXPECT_EQ(+os.lastSrbIn.SRB_BufPointer, area);
    }
    d.TimeOut(0x00, 0);  // every TEST UNIT READY from now on
    drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0);
    EXPECT_EQ(os.TimedOutRequests(), 1u);
    drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0);
    EXPECT_NE(+os.lastSrbIn.SRB_BufPointer, area);  // the parked request keeps its own
    EXPECT_EQ(os.TimedOutRequests(), 2u);
}

// After a failed read-back the window is destroyed and frees its data
// buffer; the parked request then completes. It must not write there.
TEST(LateCompletionWindow, NoParkedRequestWritesIntoTheWindowsBufferAfterDestroy) {
    FlasherRig rig;
    rig.AddDrive(FlasherRig::Model("1A10")).TimeOut(0x3C, 2);  // the second image read-back
    rig.SetImage(3 * kChunkSize);
    rig.Start();
    ASSERT_EQ(rig.form.combo.size(), 1u);
    rig.Flash();
    EXPECT_EQ(rig.form.status, "Read back and Verify drive's DRAM... , Read Fail! ");
    ASSERT_EQ(rig.os.TimedOutRequests(), 1u);
    const uint8_t* windowBuffer = rig.window->DriveData->bytes;
    for (const uint8_t* area : rig.os.PendingDataAreas())
        EXPECT_FALSE(Inside(area, windowBuffer, sizeof rig.window->DriveData->bytes));
    rig.window->FormDestroy();
    rig.os.CompleteTimedOut();  // AddressSanitizer reports a write into freed memory
    EXPECT_EQ(rig.os.TimedOutRequests(), 0u);
}

// ---- the event is signalled last -------------------------------------------------------

// The layer has written the outcome before SendASPI32Command returns but
// signals the event only some calls later: the event must still be the
// request's own, open, when the signal arrives.
TEST(LateSignal, AnEventIsClosedOnlyAfterTheLayerSignalledIt) {
    for (uint32_t delay = 1; delay <= 6; ++delay) {
        SCOPED_TRACE(delay);
        SimOs os;
        FakeForm form;
        CDDrive::Attach(&os, &form);
        os.platformId = kPlatformWin32Windows;
        os.AddAspiDrive(0, 0);  // no medium: TEST UNIT READY ends 02/3A/00
        os.signalDelayCalls = delay;
        CDDrive drive(' ', 0, 0, 0);
        ASSERT_EQ(CDDrive::LoadState(), 0);
        EXPECT_EQ(drive.IdentLine, "0-0-0  : NORVEX  CDRW-1000       1A00");
        for (int i = 0; i < 4; ++i) {
            drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0);
            EXPECT_EQ(drive.Status, kSsErr);
            EXPECT_TRUE(drive.SenseIs(2, 0x3A, 0));
            ASSERT_TRUE(drive.Inquire());
        }
        // Let every outstanding signal arrive, then one more command.
        os.signalDelayCalls = 0;
        for (uint32_t i = 0; i <= delay; ++i) os.Sleep(0);
        EXPECT_EQ(os.SignalsOutstanding(), 0u);
        ASSERT_TRUE(drive.Inquire());
        EXPECT_EQ(os.lostSignals, 0u);
        EXPECT_EQ(os.misdirectedSignals, 0u);
        EXPECT_EQ(os.badCalls, 0u);
        EXPECT_EQ(os.OpenEvents(), 0u);  // all reclaimed once signalled
        CDDrive::Attach(nullptr, nullptr);
    }
}

// A late signal that hits the next command's event would end that
// command's wait while its request is still pending.
TEST(LateSignal, ALateSignalNeverEndsTheNextCommandsWait) {
    for (uint32_t delay = 1; delay <= 6; ++delay) {
        SCOPED_TRACE(delay);
        SimOs os;
        FakeForm form;
        CDDrive::Attach(&os, &form);
        os.platformId = kPlatformWin32Windows;
        os.AddAspiDrive(0, 0);
        CDDrive drive(' ', 0, 0, 0);
        ASSERT_EQ(CDDrive::LoadState(), 0);
        os.signalDelayCalls = delay;
        drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kDataIn, 0);
        os.signalDelayCalls = 0;
        os.completion = SimOs::Completion::Late;  // the next request stays pending until waited for
        ASSERT_TRUE(drive.Inquire());
        EXPECT_EQ(drive.Status, kSsComp);
        EXPECT_EQ(os.waitedMs, 0u);
        EXPECT_EQ(os.misdirectedSignals, 0u);
        EXPECT_EQ(os.lostSignals, 0u);
        CDDrive::Attach(nullptr, nullptr);
    }
}

// ---- a failed CreateEventA ------------------------------------------------------------

TEST_F(LateCompletion, AFailedCreateEventFailsTheCommandAtOnce) {
    os.AddAspiDrive(0, 0);
    CDDrive drive(' ', 0, 0, 0);
    ASSERT_EQ(CDDrive::LoadState(), 0);
    for (SimOs::Completion mode : {SimOs::Completion::Immediate, SimOs::Completion::Late}) {
        os.completion = mode;
        os.failCreateEvent = kErrorNotEnoughMemory;
        os.lastError = 0;
        const size_t sends = os.CountCalls("SendASPI32Command");
        const size_t waits = os.CountCalls("WaitForSingleObject");
        EXPECT_EQ(drive.Execute(0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, kDataIn, 36), 0);
        EXPECT_EQ(drive.Status, 0);
        EXPECT_FALSE(drive.TransportOk());
        EXPECT_EQ(drive.LastSystemError, kErrorNotEnoughMemory);
        EXPECT_EQ(drive.ErrorText(), "00 00 00. 00, 0008");
        EXPECT_EQ(os.CountCalls("SendASPI32Command"), sends);  // nothing was sent
        EXPECT_EQ(os.CountCalls("WaitForSingleObject"), waits);
        EXPECT_EQ(os.PendingRequests(), 0u);
        EXPECT_EQ(os.OpenEvents(), 0u);
        EXPECT_EQ(os.badCalls, 0u);
        EXPECT_EQ(os.lostSignals, 0u);

        os.failCreateEvent = 0;
        EXPECT_EQ(drive.Execute(0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, kDataIn, 36), 36);
    }
}

TEST(LateCompletionBoxes, AFailedCreateEventShowsTheSystemsCode) {
    SimOs os;
    FakeForm form;
    CDDrive::Attach(&os, &form);
    os.platformId = kPlatformWin32Windows;
    os.AddAspiDrive(0, 1);
    os.failCreateEvent = kErrorNotEnoughMemory;
    form.duringBox = [&os] { os.lastError = 0; };
    CDDrive drive(' ', 0, 1, 0);  // its INQUIRY cannot be sent
    EXPECT_EQ(CDDrive::LoadState(), 'c');
    EXPECT_EQ(drive.LastSystemError, kErrorNotEnoughMemory);
    EXPECT_TRUE(form.boxes.empty());  // reporting is off until a device open fails
    EXPECT_EQ(os.CountCalls("SendASPI32Command"), 0u);
    CDDrive::Attach(nullptr, nullptr);
}

}  // namespace
