// SRB_ExecSCSICmd requests read and completed from a virtual drive's answer.
#include "sim/AspiService.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void CompleteSrb(SrbExecScsiCmd& srb, const DriveOutcome& outcome) {
    volatile uint8_t* status = &srb.SRB_Status;
    switch (outcome.kind) {
        case DriveOutcome::Kind::TimedOut:
            return;
        case DriveOutcome::Kind::TransportFailure:
            srb.SRB_HaStat = kHaStatSelectionTimeout;
            srb.SRB_TargStat = 0;
            *status = kSsErr;
            return;
        case DriveOutcome::Kind::Completed:
            break;
    }
    srb.SRB_HaStat = 0;
    srb.SRB_TargStat = outcome.status;
    if (outcome.status == kStatusGood) {
        *status = kSsComp;
        return;
    }
    size_t n = std::min<size_t>({srb.SRB_SenseLen, sizeof srb.SenseArea, outcome.sense.size()});
    std::memcpy(srb.SenseArea, outcome.sense.data(), n);
    *status = kSsErr;
}

std::string TraceLine(uint8_t ha, uint8_t target, const uint8_t cdb[12], bool dataIn,
                      uint32_t length) {
    char text[96];
    int n = std::snprintf(text, sizeof text, "%u:%u", unsigned(ha), unsigned(target));
    for (int i = 0; i < 12; ++i)
        n += std::snprintf(text + n, sizeof text - size_t(n), " %02X", unsigned(cdb[i]));
    std::snprintf(text + n, sizeof text - size_t(n), " %s %lu", dataIn ? "in" : "out",
                  static_cast<unsigned long>(length));
    return text;
}
