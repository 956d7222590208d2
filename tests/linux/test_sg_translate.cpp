// One pass-through request as one SG_IO: every header field made from the
// request, and every way the kernel answers, judged and written back.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/ScsiRequests.h"
#include "host/linux/SgTranslate.h"
#include "host/linux/SystemErrors.h"

namespace {

// A request as the drive layer fills it: the record, its sense area at
// offset Sense, 24 sense bytes, a 60 s time-out.
struct Request {
    PassThroughRecord record{};
    uint8_t data[64] = {};
    SgExchange x;

    Request(uint8_t direction, uint32_t length) {
        ScsiPassThroughDirect& spt = record.Spt;
        spt.Length = sizeof(ScsiPassThroughDirect);
        spt.CdbLength = 12;
        spt.SenseInfoLength = 24;
        spt.DataIn = direction;
        spt.DataTransferLength = length;
        spt.TimeOutValue = 60;
        spt.DataBuffer = data;
        spt.SenseInfoOffset = offsetof(PassThroughRecord, Sense);
        const uint8_t cdb[12] = {0x3B, 0x05, 0x01, 0, 0x40, 0, 0, 0x40, 0, 0, 0, 0};
        std::memcpy(spt.Cdb, cdb, 12);
    }
    uint32_t Prepare() {
        return PrepareSgExchange(&record, sizeof record, &record, sizeof record, x);
    }
    // The kernel's answer: result, errno and what it wrote into the header.
    uint32_t Finish(int result, int error, uint32_t* returned = nullptr) {
        return FinishSgExchange(result, error, x, &record, returned);
    }
    void Sense(uint8_t key, uint8_t asc, uint8_t ascq) {
        auto* sb = static_cast<uint8_t*>(x.header.sbp);
        sb[0] = 0x70;
        sb[2] = key;
        sb[12] = asc;
        sb[13] = ascq;
        x.header.sb_len_wr = 18;
        x.header.status = 0x02;
        x.header.masked_status = 0x01;
        x.header.driver_status = kDriverSense;
    }
};

TEST(SgTranslate, HeaderCarriesEveryFieldOfTheRequest) {
    Request out(kScsiIoctlDataOut, 16);
    ASSERT_EQ(0u, out.Prepare());
    const sg_io_hdr_t& h = out.x.header;
    EXPECT_EQ('S', h.interface_id);
    EXPECT_EQ(12, h.cmd_len);
    EXPECT_EQ(0, std::memcmp(h.cmdp, out.record.Spt.Cdb, 12));
    EXPECT_NE(static_cast<void*>(h.cmdp), static_cast<void*>(out.record.Spt.Cdb));  // a copy
    EXPECT_EQ(SG_DXFER_TO_DEV, h.dxfer_direction);
    EXPECT_EQ(16u, h.dxfer_len);
    EXPECT_EQ(out.data, h.dxferp);  // straight through the caller's buffer
    EXPECT_EQ(24, h.mx_sb_len);
    EXPECT_EQ(out.record.Sense, h.sbp);  // the request's own sense area
    EXPECT_EQ(60000u, h.timeout);
    EXPECT_EQ(0u, h.flags);
    EXPECT_EQ(0, h.iovec_count);

    Request in(kScsiIoctlDataIn, 8);
    ASSERT_EQ(0u, in.Prepare());
    EXPECT_EQ(SG_DXFER_FROM_DEV, in.x.header.dxfer_direction);
    // No data: the direction as sent (as Wine sends it), no buffer.
    Request none(kScsiIoctlDataIn, 0);
    ASSERT_EQ(0u, none.Prepare());
    EXPECT_EQ(SG_DXFER_FROM_DEV, none.x.header.dxfer_direction);
    EXPECT_EQ(nullptr, none.x.header.dxferp);
    Request unspecified(2, 0);
    ASSERT_EQ(0u, unspecified.Prepare());
    EXPECT_EQ(SG_DXFER_NONE, unspecified.x.header.dxfer_direction);

    // The commit's 180 s, and a time-out too long for milliseconds.
    Request commit(kScsiIoctlDataIn, 16);
    commit.record.Spt.TimeOutValue = 180;
    ASSERT_EQ(0u, commit.Prepare());
    EXPECT_EQ(180000u, commit.x.header.timeout);
    commit.record.Spt.TimeOutValue = 0xFFFFFFFFu;
    ASSERT_EQ(0u, commit.Prepare());
    EXPECT_EQ(UINT_MAX, commit.x.header.timeout);
}

TEST(SgTranslate, MalformedRequestsAreRefusedBeforeAnythingIsSent) {
    auto refused = [](void (*spoil)(Request&)) {
        Request r(kScsiIoctlDataOut, 16);
        spoil(r);
        return r.Prepare();
    };
    EXPECT_EQ(kErrorInvalidParameter, refused([](Request& r) { r.record.Spt.Length = 40; }));
    EXPECT_EQ(kErrorInvalidParameter, refused([](Request& r) { r.record.Spt.CdbLength = 0; }));
    EXPECT_EQ(kErrorInvalidParameter, refused([](Request& r) { r.record.Spt.CdbLength = 17; }));
    EXPECT_EQ(kErrorInvalidParameter, refused([](Request& r) { r.record.Spt.DataIn = 3; }));
    EXPECT_EQ(kErrorInvalidParameter,
              refused([](Request& r) { r.record.Spt.DataBuffer = nullptr; }));
    EXPECT_EQ(kErrorInvalidParameter, refused([](Request& r) { r.record.Spt.DataIn = 2; }));
    // Sense that would land outside the output record.
    EXPECT_EQ(kErrorInvalidParameter,
              refused([](Request& r) { r.record.Spt.SenseInfoLength = 255; }));
    EXPECT_EQ(kErrorInvalidParameter,
              refused([](Request& r) { r.record.Spt.SenseInfoOffset = 8; }));
    Request small(kScsiIoctlDataOut, 16);
    SgExchange x;
    EXPECT_EQ(kErrorInvalidParameter,
              PrepareSgExchange(&small.record, sizeof(ScsiPassThroughDirect) - 1, &small.record,
                                sizeof small.record, x));
    EXPECT_EQ(kErrorInvalidParameter,
              PrepareSgExchange(&small.record, sizeof small.record, &small.record,
                                sizeof(ScsiPassThroughDirect) - 1, x));
}

TEST(SgTranslate, GoodAndCheckConditionAreSuccessfulCalls) {
    Request good(kScsiIoctlDataIn, 64);
    ASSERT_EQ(0u, good.Prepare());
    good.x.header.resid = 16;
    uint32_t returned = 99;
    EXPECT_EQ(0u, good.Finish(0, 0, &returned));
    EXPECT_EQ(0, good.record.Spt.ScsiStatus);
    EXPECT_EQ(0, good.record.Spt.SenseInfoLength);
    EXPECT_EQ(48u, good.record.Spt.DataTransferLength);  // 64 less the residue
    EXPECT_EQ(sizeof(ScsiPassThroughDirect), returned);

    // CHECK CONDITION with sense: the call succeeds, status and sense in the request.
    Request check(kScsiIoctlDataOut, 16);
    ASSERT_EQ(0u, check.Prepare());
    check.Sense(0x05, 0x24, 0x00);
    EXPECT_EQ(0u, check.Finish(0, 0, &returned));
    EXPECT_EQ(2, check.record.Spt.ScsiStatus);
    EXPECT_EQ(18, check.record.Spt.SenseInfoLength);
    EXPECT_EQ(0x05, check.record.Sense[2]);
    EXPECT_EQ(0x24, check.record.Sense[12]);
    EXPECT_EQ(offsetof(PassThroughRecord, Sense) + 18, returned);
    // Old kernels add a suggestion in the high nibble: still sense, still a success.
    check.x.header.driver_status = 0x28;
    EXPECT_EQ(0u, check.Finish(0, 0));
    // CONDITION MET is a good status.
    Request met(kScsiIoctlDataIn, 0);
    ASSERT_EQ(0u, met.Prepare());
    met.x.header.status = kScsiConditionMet;
    EXPECT_EQ(0u, met.Finish(0, 0));
}

TEST(SgTranslate, SenseTheKernelWroteBeyondWhatWasAskedIsCutToTheAskedLength) {
    // A driver may report more sense than the request's area holds: only the
    // asked length may reach the record (the bytes after it are the caller's).
    Request r(kScsiIoctlDataOut, 16);
    r.record.Spt.SenseInfoLength = 8;
    ASSERT_EQ(0u, r.Prepare());
    ASSERT_EQ(8, r.x.header.mx_sb_len);
    r.Sense(0x03, 0x0C, 0x00);
    r.x.header.sb_len_wr = 18;  // more than the 8 asked for
    uint32_t returned = 0;
    EXPECT_EQ(0u, r.Finish(0, 0, &returned));
    EXPECT_EQ(8, r.record.Spt.SenseInfoLength);
    EXPECT_EQ(offsetof(PassThroughRecord, Sense) + 8, returned);
    EXPECT_EQ(0x03, r.record.Sense[2]);
}

TEST(SgTranslate, TransportFailuresFailTheCallWithACodeThatNamesTheCause) {
    struct {
        int error;
        uint32_t code;
    } const errors[] = {{EACCES, 5},    {EPERM, 5},       {ENODEV, 31},   {ENXIO, 1167},
                        {EBUSY, 170},   {EIO, 1117},      {ENOTTY, 1117}, {EINVAL, 1117},
                        {ENOMEM, 1117}, {ETIMEDOUT, 1117}};
    for (const auto& e : errors) {
        Request r(kScsiIoctlDataOut, 16);
        ASSERT_EQ(0u, r.Prepare());
        uint32_t returned = 99;
        EXPECT_EQ(e.code, r.Finish(-1, e.error, &returned)) << "errno " << e.error;
        EXPECT_EQ(0u, returned);
        EXPECT_EQ(0, r.record.Spt.ScsiStatus);
    }

    // The kernel's time-out: SG_IO returns 0, host status DID_TIME_OUT, no
    // status, no sense. Read as a success it would pass a commit that never ran.
    Request timedOut(kScsiIoctlDataIn, 16);
    ASSERT_EQ(0u, timedOut.Prepare());
    timedOut.x.header.host_status = kHostTimeOut;
    timedOut.x.header.resid = 16;
    EXPECT_EQ(kErrorSemTimeout, timedOut.Finish(0, 0));
    EXPECT_EQ(0, timedOut.record.Sense[2]);
    // Any other host adapter failure (DID_NO_CONNECT, DID_BAD_TARGET, DID_ERROR, ...).
    for (uint8_t host : {0x01, 0x04, 0x07, 0x0E}) {
        Request r(kScsiIoctlDataIn, 16);
        ASSERT_EQ(0u, r.Prepare());
        r.x.header.host_status = host;
        EXPECT_EQ(kErrorIoDevice, r.Finish(0, 0)) << "host status " << int(host);
    }
    // The driver byte: its time-out, and any other failure, even with sense.
    Request driverTimeOut(kScsiIoctlDataIn, 16);
    ASSERT_EQ(0u, driverTimeOut.Prepare());
    driverTimeOut.x.header.driver_status = kDriverTimeOut;
    EXPECT_EQ(kErrorSemTimeout, driverTimeOut.Finish(0, 0));
    Request driverError(kScsiIoctlDataIn, 16);
    ASSERT_EQ(0u, driverError.Prepare());
    driverError.Sense(0x03, 0x0C, 0x00);
    driverError.x.header.driver_status = 0x04 | kDriverSense;  // DRIVER_ERROR with sense
    EXPECT_EQ(kErrorIoDevice, driverError.Finish(0, 0));
}

TEST(SgTranslate, ABadStatusWithoutSenseIsNoSuccess) {
    // BUSY, RESERVATION CONFLICT, TASK SET FULL, and CHECK CONDITION whose
    // sense never came: the caller judges by sense alone and would pass them.
    for (uint8_t status : {0x02, 0x08, 0x18, 0x28}) {
        Request r(kScsiIoctlDataOut, 16);
        ASSERT_EQ(0u, r.Prepare());
        r.x.header.status = status;
        EXPECT_EQ(kErrorIoDevice, r.Finish(0, 0)) << "status " << int(status);
        EXPECT_EQ(status, r.record.Spt.ScsiStatus);
    }
}

TEST(SgTranslate, EveryCodeOfTheBackendHasItsSystemText) {
    for (uint32_t code : {0u, 1u, 2u, 3u, 5u, 6u, 31u, 87u, 121u, 170u, 1117u, 1167u}) {
        const char* text = WindowsErrorText(code);
        ASSERT_NE(nullptr, text) << code;
        EXPECT_LT(std::strlen(text), 80u) << "fits the drive layer's 80-byte buffer";
        EXPECT_STREQ("\r\n", text + std::strlen(text) - 2) << code;
    }
    EXPECT_STREQ("The semaphore timeout period has expired.\r\n", WindowsErrorText(121));
    EXPECT_EQ(nullptr, WindowsErrorText(433));
}

}  // namespace
