// One IOCTL_SCSI_PASS_THROUGH_DIRECT request as one SG_IO of Linux's SCSI
// generic driver: the header made from the request, and the kernel's answer
// judged in one place and written back into the request as Windows writes it.
// No system call here, so every field and every status path is tested alone.
#pragma once
#include <scsi/sg.h>

#include <cstdint>

#include "platform/ScsiRequests.h"

constexpr uint8_t kHostTimeOut = 0x03;    // DID_TIME_OUT
constexpr uint8_t kDriverTimeOut = 0x06;  // DRIVER_TIMEOUT
constexpr uint8_t kDriverSense = 0x08;    // DRIVER_SENSE: sense data is valid
constexpr uint8_t kScsiGood = 0x00;
constexpr uint8_t kScsiConditionMet = 0x04;

// The SG_IO of one request. The command bytes are a copy; data and sense go
// straight to the caller's buffer and the request's own sense area.
struct SgExchange {
    sg_io_hdr_t header{};
    uint8_t cdb[16] = {};
};

// Checks the request (in: what the caller sent, inSize bytes; out: where the
// answer goes, outSize bytes) and fills the header. Returns 0, or the Windows
// error code of a request that must not be sent (nothing is sent then).
uint32_t PrepareSgExchange(const void* in, uint32_t inSize, void* out, uint32_t outSize,
                           SgExchange& exchange);

// Judges the kernel's answer: ioctlResult and ioctlErrno are what SG_IO
// returned. Writes ScsiStatus, the sense length and the transferred length
// into the request at out (the sense itself is already there), sets
// *bytesReturned, and returns 0 for a successful call or the Windows error
// code of a failed one:
//   - SG_IO returned -1: the errno's code (WindowsErrorOf);
//   - host_status not 0: 121 for DID_TIME_OUT, 1117 for any other;
//   - driver_status other than 0 or DRIVER_SENSE (its low nibble; the high
//     nibble holds only old kernels' suggestions): 121 for DRIVER_TIMEOUT,
//     1117 for any other;
//   - a status other than GOOD or CONDITION MET that came without sense:
//     1117, since the caller, like a Windows caller, judges a command by its
//     sense alone and would take it for a success;
//   - otherwise success, also for CHECK CONDITION with sense, as on Windows.
uint32_t FinishSgExchange(int ioctlResult, int ioctlErrno, const SgExchange& exchange, void* out,
                          uint32_t* bytesReturned);
