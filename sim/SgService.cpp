// One SG_IO request against a virtual drive, answered as the Linux kernel
// answers it.
#include "sim/SgService.h"

#if defined(__linux__)
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/AspiService.h"

int ReadSgRequest(const sg_io_hdr_t& hdr, SgCommand& command) {
    command = SgCommand{};
    // The sg driver's own checks, in its order.
    if (hdr.interface_id != 'S') return -ENOSYS;
    if (hdr.cmd_len < 6 || hdr.cmd_len > 16) return -EMSGSIZE;
    if (!hdr.cmdp) return -EFAULT;
    std::memcpy(command.cdb, hdr.cmdp, std::min<size_t>(hdr.cmd_len, sizeof command.cdb));
    switch (hdr.dxfer_direction) {
        case SG_DXFER_NONE:
            command.dataIn = true;
            command.length = 0;
            break;
        case SG_DXFER_TO_DEV:
            command.dataIn = false;
            command.length = hdr.dxfer_len;
            break;
        case SG_DXFER_FROM_DEV:
        case SG_DXFER_TO_FROM_DEV:
            command.dataIn = true;
            command.length = hdr.dxfer_len;
            break;
        default:
            return -EINVAL;
    }
    // Scatter lists are not modelled: Wine never sends them.
    if (hdr.iovec_count != 0) return -EINVAL;
    if (command.length > 0 && !hdr.dxferp) return -EFAULT;
    return 0;
}

int CompleteSgRequest(sg_io_hdr_t& hdr, const DriveOutcome& outcome) {
    const uint32_t length = hdr.dxfer_direction == SG_DXFER_NONE ? 0 : hdr.dxfer_len;
    if (outcome.kind == DriveOutcome::Kind::TransportFailure) return -ENODEV;

    hdr.msg_status = 0;
    hdr.sb_len_wr = 0;
    hdr.duration = 0;
    if (outcome.kind == DriveOutcome::Kind::TimedOut) {
        hdr.status = 0;
        hdr.masked_status = 0;
        hdr.host_status = kHostStatusTimeOut;
        hdr.driver_status = 0;
        hdr.resid = static_cast<int>(length);
        hdr.duration = hdr.timeout;
        hdr.info = SG_INFO_CHECK;
        return 0;
    }
    hdr.status = outcome.status;
    hdr.masked_status = static_cast<unsigned char>((outcome.status >> 1) & 0x7F);
    hdr.host_status = 0;
    hdr.driver_status = 0;
    if (outcome.status == kStatusCheckCondition) {
        hdr.driver_status = kDriverStatusSense;
        if (hdr.sbp && hdr.mx_sb_len > 0) {
            size_t n = std::min<size_t>(hdr.mx_sb_len, outcome.sense.size());
            std::memcpy(hdr.sbp, outcome.sense.data(), n);
            hdr.sb_len_wr = static_cast<unsigned char>(n);
        }
    }
    hdr.resid = static_cast<int>(length - std::min(outcome.transferred, length));
    hdr.info = (hdr.masked_status || hdr.host_status || hdr.driver_status) ? SG_INFO_CHECK : 0;
    return 0;
}

int ServeSgIo(VirtualDrive& drive, sg_io_hdr_t& hdr, SgCommand* seen) {
    SgCommand command;
    int refused = ReadSgRequest(hdr, command);
    if (seen) *seen = command;
    if (refused) return refused;
    DriveOutcome outcome = drive.Execute(command.cdb, command.dataIn,
                                         static_cast<uint8_t*>(hdr.dxferp), command.length);
    return CompleteSgRequest(hdr, outcome);
}

std::string SgTraceLine(char letter, const SgCommand& command) {
    // The ASPI layer's formatter, so that the two traces compare line by line;
    // only the address in front ("0:0") is replaced.
    std::string line = TraceLine(0, 0, command.cdb, command.dataIn, command.length);
    return std::string(1, letter) + ":" + line.substr(line.find(' '));
}
bool LockedByAnotherProcess(dev_t dev, ino_t ino) {
    char id[64];
    std::snprintf(id, sizeof id, " %02x:%02x:%lu ", major(dev), minor(dev),
                  static_cast<unsigned long>(ino));
    std::FILE* f = std::fopen("/proc/locks", "r");
    if (!f) return false;
    char line[256];
    bool other = false;
    while (!other && std::fgets(line, sizeof line, f)) {
        char kind[16], mode[16];
        long pid = 0;
        int used = 0;
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; waiters ("->") are skipped.
        if (std::sscanf(line, "%*d: %15s %*s %15s %ld%n", kind, mode, &pid, &used) != 3) continue;
        if (std::strcmp(kind, "FLOCK") != 0 || pid <= 0 || pid == long(getpid())) continue;
        std::string rest(line + used);
        if (!rest.empty() && rest.back() == '\n') rest.pop_back();
        other = (rest + " ").find(id) == 0;
    }
    std::fclose(f);
    return other;
}

#endif
