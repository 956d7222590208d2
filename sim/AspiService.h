// What the simulated OS and the virtual WNASPI32.DLL share: how an
// SRB_ExecSCSICmd is read and completed from a virtual drive's answer, and
// the trace line of one command block. Portable.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ScsiRequests.h"
#include "sim/VirtualDrive.h"

constexpr uint8_t kHaStatSelectionTimeout = 0x11;  // HASTAT_SEL_TO, used for a transport failure

// The direction of a request as the layer reads SRB_Flags: out only with
// SRB_DIR_OUT (0x10), in otherwise.
inline bool SrbDataIn(const SrbExecScsiCmd& srb) {
    return (srb.SRB_Flags & kSrbDirOut) == 0;
}

// Writes the outcome into the request: target status, host adapter status and
// sense (up to SRB_SenseLen bytes, at most the 16-byte sense area) first, the
// SRB status last. GOOD -> SS_COMP; CHECK CONDITION -> SS_ERR, target status
// 2, sense copied; transport failure -> SS_ERR, host adapter status 0x11, no
// sense. The caller signals the event afterwards. A timed-out outcome writes nothing.
void CompleteSrb(SrbExecScsiCmd& srb, const DriveOutcome& outcome);

// "HA:TARGET" and the twelve bytes in upper-case hex separated by blanks,
// then "in" or "out" and the transfer length in decimal, e.g.
// "0:1 3B 05 01 00 40 00 00 40 00 00 00 00 out 16384".
std::string TraceLine(uint8_t ha, uint8_t target, const uint8_t cdb[12], bool dataIn,
                      uint32_t length);
