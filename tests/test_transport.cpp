// The SCSI command transport against the simulated OS: request
// records as the system saw them, the success rules of both transports, the
// error texts and boxes, the class-wide state, and ASPI completion (late and
// timed out).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "drive/CDDrive.h"
#include "drive/DriveDataBuffer.h"
#include "sim/SimOs.h"
#include "tests/support/FakeForm.h"
#include "tests/support/WatchedOs.h"

namespace {

const std::string kMissingLayerText =
    "Unable to load WNASPI32.DLL !\nYou can down the DLL from http://www.adaptec.com\n"
    " and copy the DLL to system directory.\n\n";

class Transport : public ::testing::Test {
  protected:
    SimOs os;
    FakeForm form;
    DriveDataBuffer buffer;

    void SetUp() override { CDDrive::Attach(&os, &form); }

    // An NT system with an optical drive at E.
    VirtualDrive& NtDrive(VirtualDrive::Config config = {}) {
        os.platformId = kPlatformWin32Nt;
        return os.AddCdrom('E', std::move(config));
    }
    // A 9x system with a drive at (ha, target) on the ASPI bus.
    VirtualDrive& AspiDrive(uint8_t ha = 0, uint8_t target = 0, VirtualDrive::Config config = {}) {
        os.platformId = kPlatformWin32Windows;
        return os.AddAspiDrive(ha, target, std::move(config));
    }
};

bool AllZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

// ---- request records --------------------------------------------------------

TEST_F(Transport, PassThroughRecordIsFilledAsTabled) {
    NtDrive();
    CDDrive drive('E', 2, 1, 0);  // adapter and target go to PathId and TargetId
    ASSERT_EQ(CDDrive::LoadState(), 0);
    ASSERT_EQ(os.opens.size(), 1u);
    EXPECT_EQ(os.opens[0].name, "\\\\.\\E:");
    EXPECT_EQ(os.opens[0].desiredAccess, 0xC0000000u);
    EXPECT_EQ(os.opens[0].shareMode, 1u);
    EXPECT_EQ(os.opens[0].creationDisposition, 3u);
    EXPECT_EQ(os.opens[0].flags, 0u);

    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    CDDrive::SetTimeout(180);
    EXPECT_EQ(drive.Execute(0x3C, 0x01, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00,
                            1, 16384),
              1);

    const PassThroughRecord& r = os.lastPassThroughIn;  // as the program filled it
    EXPECT_EQ(r.Spt.Length, sizeof(ScsiPassThroughDirect));
    EXPECT_EQ(r.Spt.ScsiStatus, 0);
    EXPECT_EQ(r.Spt.PathId, 2);
    EXPECT_EQ(r.Spt.TargetId, 1);
    EXPECT_EQ(r.Spt.Lun, 0);
    EXPECT_EQ(r.Spt.CdbLength, 12);
    EXPECT_EQ(r.Spt.SenseInfoLength, 24);
    EXPECT_EQ(r.Spt.DataIn, 1);
    EXPECT_EQ(r.Spt.DataTransferLength, 16384u);
    EXPECT_EQ(r.Spt.TimeOutValue, 180u);
    EXPECT_EQ(r.Spt.DataBuffer, static_cast<void*>(buffer.bytes));
    EXPECT_EQ(r.Spt.SenseInfoOffset, offsetof(PassThroughRecord, Sense));
    const uint8_t cdb[16] = {0x3C, 0x01, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40,
                             0x00, 0x00, 0x00, 0x00, 0,    0,    0,    0};
    EXPECT_EQ(std::memcmp(r.Spt.Cdb, cdb, 16), 0);
    EXPECT_EQ(r.Filler, 0u);
    EXPECT_TRUE(AllZero(r.Sense, sizeof r.Sense));

    EXPECT_EQ(os.lastIoctlCode, 0x4D014u);
    EXPECT_EQ(os.lastIoctlInSize, sizeof(PassThroughRecord));
    EXPECT_EQ(os.lastIoctlOutSize, sizeof(PassThroughRecord));
    EXPECT_TRUE(os.lastIoctlSameBuffer);
    EXPECT_EQ(os.lastPassThroughAddress, static_cast<const void*>(&drive.PassThroughRequest));
    EXPECT_EQ(drive.RequestSize, sizeof(PassThroughRecord));
    EXPECT_TRUE(drive.IoctlOk);
#if UINTPTR_MAX == 0xFFFFFFFFu
    EXPECT_EQ(r.Spt.Length, 44);
    EXPECT_EQ(r.Spt.SenseInfoOffset, 48u);
    EXPECT_EQ(drive.RequestSize, 80u);
#endif
}

TEST_F(Transport, SrbIsFilledAsTabled) {
    AspiDrive(1, 1);
    CDDrive drive(' ', 1, 1, 0);
    ASSERT_EQ(CDDrive::LoadState(), 0);
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    size_t eventsBefore = os.CountCalls("CreateEventA");
    EXPECT_EQ(drive.Execute(0x3B, 0x05, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00,
                            0, 16384),
              16384);
    EXPECT_EQ(os.CountCalls("CreateEventA"), eventsBefore + 1);

    const SrbExecScsiCmd& s = os.lastSrbIn;  // as the program filled it
    EXPECT_EQ(s.SRB_Cmd, 2);
    EXPECT_EQ(s.SRB_Status, 0);
    EXPECT_EQ(s.SRB_HaId, 1);
    EXPECT_EQ(s.SRB_Flags, 0x50);
    EXPECT_EQ(+s.SRB_Hdr_Rsvd, 0u);
    EXPECT_EQ(s.SRB_Target, 1);
    EXPECT_EQ(s.SRB_Lun, 0);
    EXPECT_EQ(+s.SRB_Rsvd1, 0);
    EXPECT_EQ(+s.SRB_BufLen, 16384u);
    EXPECT_EQ(+s.SRB_BufPointer, drive.AspiRequest->Data);  // its own area, not the shared buffer
    EXPECT_EQ(s.SRB_SenseLen, 14);
    EXPECT_EQ(s.SRB_CDBLen, 12);
    EXPECT_EQ(s.SRB_HaStat, 0);
    EXPECT_EQ(s.SRB_TargStat, 0);
    EXPECT_NE(static_cast<void*>(s.SRB_PostProc), nullptr);  // the command's event
    EXPECT_TRUE(AllZero(s.SRB_Rsvd2, sizeof s.SRB_Rsvd2));
    const uint8_t cdb[16] = {0x3B, 0x05, 0x01, 0x03, 0xC0, 0x00, 0x00, 0x40,
                             0x00, 0x00, 0x00, 0x00, 0,    0,    0,    0};
    EXPECT_EQ(std::memcmp(s.CDBByte, cdb, 16), 0);
    EXPECT_TRUE(AllZero(s.SenseArea, sizeof s.SenseArea));
    EXPECT_EQ(os.lastSrbAddress, static_cast<const void*>(drive.AspiRequest));

    EXPECT_EQ(os.lastSrbOut.SRB_Status, kSsComp);
    EXPECT_EQ(drive.Status, kSsComp);
    EXPECT_EQ(os.OpenEvents(), 0u);  // created and closed around the command
#if UINTPTR_MAX == 0xFFFFFFFFu
    EXPECT_EQ(sizeof(SrbExecScsiCmd), 80u);
    EXPECT_EQ(offsetof(SrbExecScsiCmd, SenseArea), 64u);
#endif
}

TEST_F(Transport, DirectionOneIsDataInAnyOtherIsDataOut) {
    NtDrive();
    CDDrive nt('E', 0, 0, 0);
    for (uint8_t direction : {0, 2, 1}) {
        nt.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, direction, 0);
        EXPECT_EQ(os.lastPassThroughIn.Spt.DataIn, direction == 1 ? 1 : 0) << int(direction);
    }

    CDDrive::Attach(&os, &form);
    AspiDrive();
    CDDrive aspi(' ', 0, 0, 0);
    for (uint8_t direction : {0, 2, 1}) {
        aspi.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, direction, 0);
        EXPECT_EQ(os.lastSrbIn.SRB_Flags, direction == 1 ? 0x48 : 0x50) << int(direction);
    }
}

// ---- success rules --------------------------------------------------------------

TEST_F(Transport, PassThroughCheckConditionWithKeyZeroIsSuccess) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    d.FailWithSense(0x00, 1, 0x00, 0x00, 0x00);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 1);
    EXPECT_EQ(drive.Status, 2);  // CHECK CONDITION recorded, not judged
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_TRUE(drive.TransportOk());
}

TEST_F(Transport, SenseFlagBitsBesideKeyZeroAreFailure) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    d.FailWithSense(0x00, 1, 0x20, 0x00, 0x00);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_EQ(drive.SenseKey, 0x20);
    EXPECT_FALSE(drive.SenseIs(0, 0, 0));
    EXPECT_EQ(drive.ErrorText(), "20 00 00. 02, 0000");
}

TEST_F(Transport, FailedIoctlWithoutSenseLooksSuccessfulToSenseIs) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    d.FailTransport(0x00, 1);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_FALSE(drive.IoctlOk);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_FALSE(drive.TransportOk());
    EXPECT_EQ(drive.LastSystemError, kErrorIoDevice);
    EXPECT_EQ(drive.ErrorText(), "00 00 00. 00, 045D");

    d.TimeOut(0x00, 2);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_FALSE(drive.TransportOk());
    EXPECT_EQ(drive.LastSystemError, kErrorSemTimeout);
}

TEST_F(Transport, EveryCommandClearsTheOutcomeOfTheLast) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    d.FailWithSense(0x00, 1, 0x05, 0x24, 0x00);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_TRUE(drive.SenseIs(5, 0x24, 0));
    d.config.medium = Medium::Disc;
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 1);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_EQ(drive.Status, 0);
    EXPECT_EQ(drive.LastSystemError, 0u);
}

TEST_F(Transport, AspiSuccessReturnsTheLengthAndZeroWithoutData) {
    AspiDrive();
    CDDrive drive(' ', 0, 0, 0);
    EXPECT_EQ(drive.Execute(0x12, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, 1, 36), 36);
    EXPECT_EQ(drive.Execute(0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0),
              0);  // succeeded all the same
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_TRUE(drive.TransportOk());
    EXPECT_EQ(drive.Status, kSsComp);
}

TEST_F(Transport, AspiCheckConditionIsSsErrWithSense) {
    VirtualDrive& d = AspiDrive();
    CDDrive drive(' ', 0, 0, 0);
    d.FailWithSense(0x3B, 1, 0x05, 0x24, 0x00);
    EXPECT_EQ(drive.Execute(0x3B, 5, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 16), 0);
    EXPECT_EQ(drive.Status, kSsErr);
    EXPECT_EQ(os.lastSrbOut.SRB_TargStat, 2);
    EXPECT_TRUE(drive.SenseIs(5, 0x24, 0));
    EXPECT_EQ(drive.ErrorText(), "05 24 00. 04, 0000");
    EXPECT_FALSE(drive.TransportOk());

    // Key 0 with CHECK CONDITION: the layer reports SS_ERR, so the transport
    // failed although the sense reads 0/0/0.
    d.FailWithSense(0x00, 1, 0x00, 0x00, 0x00);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_FALSE(drive.TransportOk());

    d.FailWithSense(0x00, 2, 0x20, 0x00, 0x00);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_FALSE(drive.SenseIs(0, 0, 0));
}

TEST_F(Transport, AspiTransportFailureHasNoSense) {
    VirtualDrive& d = AspiDrive();
    CDDrive drive(' ', 0, 0, 0);
    d.FailTransport(0x25, 1);
    EXPECT_EQ(drive.Execute(0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 8), 0);
    EXPECT_EQ(drive.Status, kSsErr);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_FALSE(drive.TransportOk());
    EXPECT_EQ(drive.ErrorText(), "00 00 00. 04, 0000");
}

TEST_F(Transport, ErrorTextFormats) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    EXPECT_EQ(drive.ErrorText(), "00 00 00. 00, 0000");  // after the successful INQUIRY
    d.FailWithSense(0x3B, 1, 0x05, 0x24, 0x00);
    drive.Execute(0x3B, 5, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 16);
    EXPECT_EQ(drive.ErrorText(), "05 24 00. 02, 0000");
}

// ---- boxes and ReportErrors ----------------------------------------------------------

TEST_F(Transport, FailedOpenTurnsOnReportErrors) {
    os.platformId = kPlatformWin32Nt;
    os.FailOpen('D', kErrorAccessDenied);
    VirtualDrive& e = os.AddCdrom('E');
    {
        CDDrive bad('D', 0, 0, 0);
        EXPECT_EQ(CDDrive::LoadState(), 'c');
        EXPECT_EQ(bad.DeviceHandle, nullptr);
    }
    EXPECT_TRUE(CDDrive::ReportErrors());
    ASSERT_EQ(form.boxes.size(), 2u);
    EXPECT_EQ(form.boxes[0].text, "Error opening: 5, Drive: \\\\.\\D:");
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Plain);
    EXPECT_EQ(form.boxes[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(form.boxes[1].text, "SenseCode: 00 00 00, 00, Error: 5, Access is denied.\r\n");
    EXPECT_EQ(form.boxes[1].kind, BoxKind::Plain);

    CDDrive good('E', 0, 0, 0);
    EXPECT_EQ(CDDrive::LoadState(), 0);
    EXPECT_EQ(form.boxes.size(), 2u);  // successful commands show nothing

    e.FailWithSense(0x3B, 1, 0x05, 0x24, 0x00);
    os.lastError = 0;
    good.Execute(0x3B, 5, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 16);
    ASSERT_EQ(form.boxes.size(), 3u);
    EXPECT_EQ(form.boxes[2].text,
              "SenseCode: 05 24 00, 02, Error: 0, The operation completed successfully.\r\n");

    os.lastError = 9999;  // no text for it
    e.FailWithSense(0x3B, 2, 0x03, 0x0C, 0x00);
    good.Execute(0x3B, 5, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 16);
    ASSERT_EQ(form.boxes.size(), 4u);
    EXPECT_EQ(form.boxes[3].text, "SenseCode: 03 0C 00, 02, Error: 9999, Format message failed.");
    EXPECT_EQ(good.LastSystemError, 9999u);
}

TEST_F(Transport, FailedCommandsShowNothingWhileReportErrorsIsOff) {
    VirtualDrive& d = NtDrive();
    CDDrive drive('E', 0, 0, 0);
    d.FailWithSense(0x00, 0, 0x02, 0x3A, 0x00);
    os.lastError = 21;
    drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_TRUE(form.boxes.empty());
    EXPECT_EQ(drive.LastSystemError, 21u);  // still recorded
    EXPECT_EQ(drive.ErrorText(), "02 3A 00. 02, 0015");
}

TEST_F(Transport, MissingLayerShowsItsBoxAndLoadStateB) {
    os.platformId = kPlatformWin32Windows;
    os.aspiLayer = SimOs::AspiLayer::Missing;
    CDDrive drive(' ', 0, 0, 0);
    EXPECT_EQ(CDDrive::LoadState(), 'b');
    ASSERT_EQ(form.boxes.size(), 1u);
    EXPECT_EQ(form.boxes[0].text, kMissingLayerText);
    EXPECT_EQ(form.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(form.boxes[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(os.CountOpcode(0x12), 0u);  // construction stopped before the INQUIRY
}

TEST_F(Transport, UnusableLayerIsReleasedWithoutABox) {
    struct Case {
        SimOs::AspiLayer layer;
        char state;
    } cases[] = {{SimOs::AspiLayer::NoSupportEntry, 'a'},
                 {SimOs::AspiLayer::BadStatus, 0x60},
                 {SimOs::AspiLayer::NoSendEntry, 'a'}};
    for (const Case& c : cases) {
        SimOs local;
        FakeForm localForm;
        CDDrive::Attach(&local, &localForm);
        local.platformId = kPlatformWin32Windows;
        local.aspiLayer = c.layer;
        local.AddAspiDrive(0, 0);
        { CDDrive drive(' ', 0, 0, 0); }
        EXPECT_EQ(CDDrive::LoadState(), c.state);
        EXPECT_TRUE(localForm.boxes.empty());
        EXPECT_EQ(local.moduleReferences, 0);  // FreeLibrary'd
        EXPECT_EQ(local.CountCalls("FreeLibrary"), 1u);
        EXPECT_EQ(local.badCalls, 0u);
    }
    CDDrive::Attach(&os, &form);
}

// ---- class-wide state ----------------------------------------------------------------

TEST_F(Transport, ClassWideStateStartsAtItsStartValues) {
    // Move every piece away from its start value first, so the values below are
    // the ones a start (Attach) gives, not leftovers that happen to match.
    os.platformId = kPlatformWin32Nt;
    os.AddCdrom('E');
    os.FailOpen('F', 5);
    CDDrive failed('F', 0, 0, 0);  // the failed open turns error reports on
    CDDrive loaded('E', 0, 0, 0);
    CDDrive::SetTimeout(180);
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    ASSERT_TRUE(CDDrive::UsePassThrough());
    ASSERT_TRUE(CDDrive::ReportErrors());
    ASSERT_EQ(CDDrive::LoadedDriveCount(), 1);
    ASSERT_EQ(CDDrive::LoadState(), 0);

    SimOs fresh;
    FakeForm freshForm;
    CDDrive::Attach(&fresh, &freshForm);
    EXPECT_EQ(CDDrive::LoadState(), 'c');
    EXPECT_EQ(CDDrive::TimeoutSeconds(), 60);
    EXPECT_FALSE(CDDrive::UsePassThrough());
    EXPECT_FALSE(CDDrive::ReportErrors());
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(CDDrive::DataBuffer(), nullptr);
    EXPECT_EQ(CDDrive::DataBufferLength(), 0u);
    CDDrive::Attach(&os, &form);
}

TEST_F(Transport, InitTransportInstallsTheInternalBuffer) {
    os.platformId = kPlatformWin32Nt;
    CDDrive::InitTransport();
    EXPECT_TRUE(CDDrive::UsePassThrough());
    EXPECT_EQ(os.lastVersionInfoSize, 148u);
    EXPECT_NE(CDDrive::DataBuffer(), nullptr);
    EXPECT_EQ(CDDrive::DataBufferLength(), 2352u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CDDrive::DataBuffer()) % 4096, 0u);  // page-aligned
}

TEST_F(Transport, SetDataBufferWithoutBufferInstallsTheInternalOne) {
    os.platformId = kPlatformWin32Nt;
    CDDrive::InitTransport();
    uint8_t* internal = CDDrive::DataBuffer();
    CDDrive::SetDataBuffer(buffer.bytes, 16384);
    EXPECT_EQ(CDDrive::DataBuffer(), buffer.bytes);
    EXPECT_EQ(CDDrive::DataBufferLength(), 16384u);
    CDDrive::SetDataBuffer(nullptr, 16384);
    EXPECT_EQ(CDDrive::DataBuffer(), internal);
    EXPECT_EQ(CDDrive::DataBufferLength(), 2352u);
}

TEST_F(Transport, InquiryMovesDataThroughTheIdentifyBufferOnly) {
    NtDrive();
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    std::memset(buffer.bytes, 0xAA, sizeof buffer.bytes);
    CDDrive drive('E', 0, 0, 0);  // runs InitTransport, which installs the internal buffer
    CDDrive::SetDataBuffer(buffer.bytes, sizeof buffer.bytes);
    ASSERT_TRUE(drive.Inquire());
    EXPECT_NE(os.lastPassThroughIn.Spt.DataBuffer, static_cast<void*>(buffer.bytes));
    EXPECT_EQ(buffer.bytes[0], 0xAA);
    EXPECT_EQ(os.lastPassThroughIn.Spt.DataTransferLength, 128u);
    EXPECT_EQ(os.lastPassThroughIn.Spt.Cdb[4], 0x80);
    // The next command moves data through the shared buffer again.
    drive.Execute(0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 8);
    EXPECT_EQ(os.lastPassThroughIn.Spt.DataBuffer, static_cast<void*>(buffer.bytes));
}

TEST_F(Transport, TimeoutGoesToBothTransports) {
    NtDrive();
    CDDrive nt('E', 0, 0, 0);
    nt.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_EQ(os.lastPassThroughIn.Spt.TimeOutValue, 60u);
    CDDrive::SetTimeout(180);
    nt.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_EQ(os.lastPassThroughIn.Spt.TimeOutValue, 180u);
    EXPECT_EQ(CDDrive::TimeoutSeconds(), 180);

    // ASPI: the time-out is the wait for the request's event, the longest wait of
    // each timed-out command (earlier parked requests are only polled).
    WatchedOs nine;
    CDDrive::Attach(&nine, &form);
    nine.platformId = kPlatformWin32Windows;
    VirtualDrive& d = nine.AddAspiDrive(0, 0);
    CDDrive aspi(' ', 0, 0, 0);
    ASSERT_EQ(CDDrive::LoadState(), 0);
    d.TimeOut(0x00, 1);
    d.TimeOut(0x00, 2);
    nine.waits.clear();
    aspi.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    ASSERT_FALSE(nine.waits.empty());
    EXPECT_EQ(*std::max_element(nine.waits.begin(), nine.waits.end()), 60000u);
    CDDrive::SetTimeout(180);
    nine.waits.clear();
    aspi.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    ASSERT_FALSE(nine.waits.empty());
    EXPECT_EQ(*std::max_element(nine.waits.begin(), nine.waits.end()), 180000u);
    CDDrive::Attach(&os, &form);
}

// ---- ASPI completion ----------------------------------------------------------------------

TEST_F(Transport, LateAspiCompletionIsWaitedFor) {
    AspiDrive(0, 1);
    os.completion = SimOs::Completion::Late;
    CDDrive drive(' ', 0, 1, 0);
    EXPECT_EQ(CDDrive::LoadState(), 0);
    EXPECT_EQ(drive.IdentLine, "0-1-0  : NORVEX  CDRW-1000       1A00");
    EXPECT_EQ(os.CountCalls("WaitForSingleObject"), 1u);
    EXPECT_EQ(os.CountCalls("ResetEvent"), 1u);
    EXPECT_EQ(os.waitedMs, 0u);
    EXPECT_EQ(os.PendingRequests(), 0u);
    EXPECT_EQ(os.OpenEvents(), 0u);
    EXPECT_EQ(drive.Status, kSsComp);
}

TEST_F(Transport, TimedOutAspiCommandFailsWithStatusZero) {
    VirtualDrive& d = AspiDrive();
    CDDrive drive(' ', 0, 0, 0);
    d.config.medium = Medium::Disc;
    d.TimeOut(0x00, 1);
    CDDrive::SetTimeout(5);
    EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
    EXPECT_EQ(drive.Status, 0);
    EXPECT_TRUE(drive.SenseIs(0, 0, 0));
    EXPECT_FALSE(drive.TransportOk());
    EXPECT_EQ(drive.ErrorText(), "00 00 00. 00, 0000");
    EXPECT_EQ(os.waitedMs, 5000u);  // the wait ran its full time-out (virtual time)
    EXPECT_EQ(os.TimedOutRequests(), 1u);
}

// The layer completes a timed-out request late, while the drive's next
// command is in flight: the late completion must land in the old request
// (and signal the old event), never in the request the next command uses.
TEST_F(Transport, LateCompletionOfATimedOutRequestNeverTouchesTheNextCommand) {
    for (SimOs::Completion mode : {SimOs::Completion::Immediate, SimOs::Completion::Late}) {
        SimOs local;
        FakeForm localForm;
        CDDrive::Attach(&local, &localForm);
        local.platformId = kPlatformWin32Windows;
        local.completion = mode;
        VirtualDrive& d = local.AddAspiDrive(0, 0);  // no medium: a late TUR ends 02/3A/00
        CDDrive drive(' ', 0, 0, 0);
        ASSERT_EQ(CDDrive::LoadState(), 0);

        d.TimeOut(0x00, 1);
        EXPECT_EQ(drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0), 0);
        const void* timedOut = local.lastSrbAddress;
        EXPECT_EQ(local.OpenEvents(), 1u);  // its event stays open while it may complete

        local.completeTimedOutAfterNextCommand = true;
        ASSERT_TRUE(drive.Inquire());  // the old request completes during this command
        EXPECT_EQ(local.TimedOutRequests(), 0u);
        EXPECT_NE(local.lastSrbAddress, timedOut);
        EXPECT_EQ(drive.Status, kSsComp);
        EXPECT_TRUE(drive.SenseIs(0, 0, 0));
        EXPECT_EQ(drive.IdentLine, "0-0-0  : NORVEX  CDRW-1000       1A00");
        EXPECT_EQ(local.lostSignals, 0u);  // the late signal found its own event
        const auto* old = static_cast<const SrbExecScsiCmd*>(timedOut);
        EXPECT_EQ(old->SRB_Status, kSsErr);  // the late outcome went into the parked request
        EXPECT_EQ(old->SenseArea[12], 0x3A);

        // The next command reclaims the completed request and its event.
        drive.Execute(0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
        EXPECT_EQ(local.OpenEvents(), 0u);
        EXPECT_EQ(local.badCalls, 0u);
    }
    CDDrive::Attach(&os, &form);
}

TEST_F(Transport, ARequestStillPendingStaysParked) {
    VirtualDrive& d = AspiDrive();
    CDDrive drive(' ', 0, 0, 0);
    d.TimeOut(0x00, 1);
    drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    const void* timedOut = os.lastSrbAddress;
    for (int i = 0; i < 3; ++i) drive.Execute(0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_EQ(os.OpenEvents(), 1u);  // never signalled: kept
    for (const void* a : std::vector<const void*>(os.srbAddresses.end() - 3, os.srbAddresses.end()))
        EXPECT_NE(a, timedOut);
    os.CompleteTimedOut();  // completes into the parked record; ASan would catch a freed one
    EXPECT_EQ(static_cast<const SrbExecScsiCmd*>(timedOut)->SRB_Status, kSsErr);
    drive.Execute(0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    EXPECT_EQ(os.OpenEvents(), 0u);
}

TEST_F(Transport, AttachOrphansRequestsParkedUnderThePreviousSeam) {
    VirtualDrive& d = AspiDrive();
    {
        CDDrive drive(' ', 0, 0, 0);
        d.TimeOut(0x00, 1);
        drive.Execute(0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0);
    }
    SimOs next;
    CDDrive::Attach(&next, &form);
    next.platformId = kPlatformWin32Windows;
    next.AddAspiDrive(0, 0);
    CDDrive drive(' ', 0, 0, 0);
    EXPECT_EQ(CDDrive::LoadState(), 0);
    // Only the INQUIRY's own event is looked at; the old request is not polled here.
    EXPECT_EQ(next.CountCalls("WaitForSingleObject"), 1u);
    EXPECT_EQ(next.badCalls, 0u);
    CDDrive::Attach(&os, &form);
}

// ---- teardown ----------------------------------------------------------------------------

TEST_F(Transport, PassThroughTeardownClosesTheDevice) {
    NtDrive();
    {
        CDDrive drive('E', 0, 0, 0);
        EXPECT_EQ(CDDrive::LoadedDriveCount(), 1);
        EXPECT_EQ(os.OpenDevices(), 1u);
    }
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(os.OpenDevices(), 0u);
    EXPECT_EQ(os.badCalls, 0u);
}

TEST_F(Transport, AspiTeardownReleasesTheLayerOnlyWhenTheCountIsZero) {
    AspiDrive(0, 0);
    {
        CDDrive a(' ', 0, 0, 0);
        CDDrive b(' ', 0, 0, 0);
        EXPECT_EQ(CDDrive::LoadedDriveCount(), 2);
        EXPECT_EQ(os.moduleReferences, 1);  // loaded by the first construction only
    }
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(os.moduleReferences, 1);  // the count reached 0 without releasing the layer
    { CDDrive c(' ', 0, 0, 0); }        // count 0: InitTransport loads the layer again
    EXPECT_EQ(os.moduleReferences, 2);
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(os.CountCalls("FreeLibrary"), 0u);

    // A teardown that finds the count at 0 releases the layer it loaded, once: drives
    // that outlive a restart of the class-wide state (the count starts at 0 again)
    // are torn down after the count has come back to 0.
    SimOs nine;
    CDDrive::Attach(&nine, &form);
    nine.platformId = kPlatformWin32Windows;
    nine.AddAspiDrive(0, 0);
    auto* first = new CDDrive(' ', 0, 0, 0);
    auto* second = new CDDrive(' ', 0, 0, 0);
    CDDrive::Attach(&nine, &form);  // count 0, no layer
    {
        CDDrive d(' ', 0, 0, 0);  // loads the layer again
        EXPECT_EQ(nine.moduleReferences, 2);
        EXPECT_EQ(CDDrive::LoadedDriveCount(), 1);
    }  // count 1 at its teardown: lowered to 0, the layer kept
    EXPECT_EQ(nine.CountCalls("FreeLibrary"), 0u);
    delete first;  // count 0: the layer is released
    EXPECT_EQ(nine.CountCalls("FreeLibrary"), 1u);
    EXPECT_EQ(nine.moduleReferences, 1);
    delete second;  // count 0, but no layer loaded any more: nothing freed twice
    EXPECT_EQ(nine.CountCalls("FreeLibrary"), 1u);
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 0);
    EXPECT_EQ(nine.badCalls, 0u);
    CDDrive::Attach(&os, &form);
}

TEST_F(Transport, ADriveThatNeverLoadedChangesNoCount) {
    VirtualDrive& d = NtDrive();
    CDDrive good('E', 0, 0, 0);
    d.FailWithSense(0x12, 2, 0x05, 0x24, 0x00);  // the second INQUIRY
    {
        CDDrive bad('E', 0, 0, 0);
        EXPECT_EQ(CDDrive::LoadState(), 'c');
        EXPECT_EQ(bad.IdentLine, "0");
        EXPECT_EQ(bad.DeviceHandle, nullptr);
    }
    EXPECT_EQ(CDDrive::LoadedDriveCount(), 1);
    EXPECT_EQ(os.OpenDevices(), 1u);
}

}  // namespace
