// A virtual drive served to a real Linux kernel through TCMU: each command
// the target core passes on runs on the same VirtualDrive model as on the
// virtual ASPI layer and the virtual SCSI generic device, with the same
// trace line, and its outcome is handed back the way a drive behind a SCSI
// transport gives it:
//   - completed: SCSI status, sense, and the bytes moved to the host;
//   - time-out: the command is held, unanswered, until the kernel's notice
//     that it aborted the command (its error handling after the initiator's
//     time-out), and only then handed back;
//   - transport failure: the transport is taken offline (`refuseTransport`,
//     the loopback fabric's own switch) and the command handed back BUSY, so
//     the SCSI mid-layer queues it again and the offline transport refuses
//     it with a host status and no SCSI status at all; the caller brings the
//     transport back once that has happened.
//
// TCMU does not carry the initiator's data direction. It is inferred from
// the command: data to the drive for the commands that carry a parameter
// list (WRITE BUFFER with a non-zero length, MODE SELECT, WRITE, SEND ...),
// data to the host for every other command with data, and "in" (as the
// flasher sends them) for commands without data.
#pragma once
#if defined(__linux__)
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/TcmuRing.h"
#include "sim/VirtualDrive.h"

bool TcmuDataOut(const uint8_t cdb[12], uint32_t length);

constexpr uint8_t kStatusBusy = 0x08;
constexpr uint8_t kStatusTaskAborted = 0x40;

class TcmuService {
  public:
    TcmuService(TcmuRing& ring, VirtualDrive& drive, char letter, uint32_t bufferSize);

    std::function<void(const std::string&)> trace;  // one line per command received
    std::function<void()> refuseTransport;          // takes the transport offline
    std::function<void()> committed;                // after a command that committed firmware
    std::function<void(uint32_t)> delay;            // a slow drive: wait this many ms

    uint32_t commandDelayMs = 0;  // every command that moves data takes this long

    // Serves the commands and notices one read of the ring found. Returns
    // true when an answer was written (the kernel is then to be told).
    bool Serve(const TcmuEntries& entries);

    size_t Held() const { return held_.size(); }
    uint32_t Refused() const { return refused_; }

  private:
    bool Run(const TcmuCommand& command);
    bool Answer(uint16_t id, const DriveOutcome& outcome);

    TcmuRing& ring_;
    VirtualDrive& drive_;
    char letter_;
    std::vector<uint8_t> buffer_;    // one command's data, allocated once
    std::vector<TcmuCommand> held_;  // timed-out commands awaiting the abort
    uint32_t refused_ = 0;
};
#endif
