// What the virtual SCSI generic device (sim/sg) does with one SG_IO request:
// it reads the sg_io_hdr as the Linux sg driver does, runs the command on a
// virtual drive, and answers the way the kernel answers. Linux only (it is
// empty elsewhere): the header is the kernel's own <scsi/sg.h>.
//
// How the kernel answers, and so how this answers:
//   - the command completed: the ioctl returns 0; status, masked status,
//     sense (sb_len_wr bytes, driver status DRIVER_SENSE with CHECK
//     CONDITION), resid and info are written into the header;
//   - the device cannot be reached (a transport failure): the SCSI layer
//     refuses the request before it reaches the drive, as for a drive that
//     is offline or gone: the ioctl fails with ENODEV and writes nothing;
//   - the command timed out: the ioctl returns 0 with host status
//     DID_TIME_OUT, no status and no sense, nothing transferred.
#pragma once
#if defined(__linux__)
#include <scsi/sg.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "sim/VirtualDrive.h"

constexpr uint8_t kHostStatusTimeOut = 0x03;  // DID_TIME_OUT
constexpr uint8_t kDriverStatusSense = 0x08;  // DRIVER_SENSE

// The command a request carries: the first twelve command bytes (zero-padded
// when the command is shorter), the direction and the transfer length.
struct SgCommand {
    uint8_t cdb[12] = {};
    bool dataIn = true;
    uint32_t length = 0;
};

// Another process holds an flock on the file with this device and inode
// (/proc/locks): the virtual device then answers EBUSY, as the sg driver
// keeps a second program off a node that one has open exclusively.
bool LockedByAnotherProcess(dev_t dev, ino_t ino);

// Reads the request. Returns 0, or the negative errno with which the sg
// driver refuses a malformed header (the command does not reach the drive).
int ReadSgRequest(const sg_io_hdr_t& hdr, SgCommand& command);

// Writes the drive's outcome into the header as the kernel does and returns
// the ioctl's result: 0, or -ENODEV for a transport failure.
int CompleteSgRequest(sg_io_hdr_t& hdr, const DriveOutcome& outcome);

// One SG_IO request on a drive: read, run, complete. The command read goes
// to *command (when given) also when the request is refused.
int ServeSgIo(VirtualDrive& drive, sg_io_hdr_t& hdr, SgCommand* command = nullptr);

// The trace line of one request: the drive letter and a colon, then the
// command bytes, direction and length exactly as in the virtual ASPI layer's
// trace, e.g. "E: 3B 05 01 00 00 00 00 40 00 00 00 00 out 16384".
std::string SgTraceLine(char letter, const SgCommand& command);
#endif
