// One pass-through request as one SG_IO, and the kernel's whole answer judged in one place.
#include "host/linux/SgTranslate.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "host/linux/SystemErrors.h"

namespace {
constexpr uint8_t kDataUnspecified = 2;  // SCSI_IOCTL_DATA_UNSPECIFIED

unsigned int Milliseconds(uint32_t seconds) {
    const uint64_t ms = uint64_t(seconds) * 1000u;
    return ms > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(ms);
}
}  // namespace

uint32_t PrepareSgExchange(const void* in, uint32_t inSize, void* out, uint32_t outSize,
                           SgExchange& exchange) {
    exchange = SgExchange{};
    if (!in || !out || inSize < sizeof(ScsiPassThroughDirect) ||
        outSize < sizeof(ScsiPassThroughDirect))
        return kErrorInvalidParameter;
    ScsiPassThroughDirect spt;
    std::memcpy(&spt, in, sizeof spt);
    if (spt.Length != sizeof(ScsiPassThroughDirect) || spt.CdbLength == 0 ||
        spt.CdbLength > sizeof spt.Cdb || spt.DataIn > kDataUnspecified)
        return kErrorInvalidParameter;
    if (spt.SenseInfoLength > 0 && (spt.SenseInfoOffset < sizeof(ScsiPassThroughDirect) ||
                                    uint64_t(spt.SenseInfoOffset) + spt.SenseInfoLength > outSize))
        return kErrorInvalidParameter;
    if (spt.DataTransferLength > 0 && (!spt.DataBuffer || spt.DataIn == kDataUnspecified))
        return kErrorInvalidParameter;

    sg_io_hdr_t& h = exchange.header;
    std::memcpy(exchange.cdb, spt.Cdb, spt.CdbLength);
    h.interface_id = 'S';
    h.cmd_len = spt.CdbLength;
    h.cmdp = exchange.cdb;
    // As Wine fills it: the direction follows DataIn even for no data, so
    // a command carries the same direction on every road.
    if (spt.DataIn == kScsiIoctlDataIn)
        h.dxfer_direction = SG_DXFER_FROM_DEV;
    else if (spt.DataIn == kScsiIoctlDataOut)
        h.dxfer_direction = SG_DXFER_TO_DEV;
    else
        h.dxfer_direction = SG_DXFER_NONE;
    h.dxfer_len = spt.DataTransferLength;
    h.dxferp = spt.DataTransferLength > 0 ? spt.DataBuffer : nullptr;
    h.mx_sb_len = spt.SenseInfoLength;
    h.sbp = spt.SenseInfoLength > 0 ? static_cast<uint8_t*>(out) + spt.SenseInfoOffset : nullptr;
    h.timeout = Milliseconds(spt.TimeOutValue);
    h.flags = 0;  // indirect transfer: the caller's buffer needs no alignment
    return 0;
}

uint32_t FinishSgExchange(int ioctlResult, int ioctlErrno, const SgExchange& exchange, void* out,
                          uint32_t* bytesReturned) {
    const sg_io_hdr_t& h = exchange.header;
    auto* spt = static_cast<ScsiPassThroughDirect*>(out);
    if (bytesReturned) *bytesReturned = 0;
    if (ioctlResult < 0) return WindowsErrorOf(ioctlErrno);

    spt->ScsiStatus = h.status;
    const uint8_t senseLength = h.sb_len_wr <= h.mx_sb_len ? h.sb_len_wr : h.mx_sb_len;
    spt->SenseInfoLength = senseLength;
    const uint32_t resid = h.resid > 0 ? static_cast<uint32_t>(h.resid) : 0;
    spt->DataTransferLength = resid < h.dxfer_len ? h.dxfer_len - resid : 0;

    if (h.host_status != 0)
        return h.host_status == kHostTimeOut ? kErrorSemTimeout : kErrorIoDevice;
    const uint8_t driver = h.driver_status & 0x0F;
    if (driver != 0 && driver != kDriverSense)
        return driver == kDriverTimeOut ? kErrorSemTimeout : kErrorIoDevice;
    if (h.status != kScsiGood && h.status != kScsiConditionMet && senseLength == 0)
        return kErrorIoDevice;

    if (bytesReturned)
        *bytesReturned = senseLength > 0
                             ? static_cast<uint32_t>(static_cast<const uint8_t*>(h.sbp) -
                                                     static_cast<const uint8_t*>(out)) +
                                   senseLength
                             : static_cast<uint32_t>(sizeof(ScsiPassThroughDirect));
    return 0;
}
