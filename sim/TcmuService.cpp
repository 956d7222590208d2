// A virtual drive served through TCMU.
#include "sim/TcmuService.h"

#if defined(__linux__)
#include <algorithm>
#include <cstring>

#include "drive/Scsi.h"
#include "sim/SgService.h"

bool TcmuDataOut(const uint8_t cdb[12], uint32_t length) {
    if (length == 0) return false;
    switch (cdb[0]) {
        case kOpWriteBuffer:  // WRITE BUFFER: a parameter list when bytes 6-8 say so (the commit
                              // reads 16 bytes)
            return (cdb[6] | cdb[7] | cdb[8]) != 0;
        case kOpWrite6:              // WRITE(6)
        case kOpModeSelect6:         // MODE SELECT(6)
        case kOpWrite10:             // WRITE(10)
        case kOpWriteVerify10:       // WRITE AND VERIFY(10)
        case kOpSendOpcInformation:  // SEND OPC INFORMATION
        case kOpModeSelect10:        // MODE SELECT(10)
        case kOpSendCueSheet:        // SEND CUE SHEET
        case kOpWrite12:             // WRITE(12)
        case kOpSendDvdStructure:    // SEND DVD STRUCTURE
            return true;
        default:
            return false;
    }
}

TcmuService::TcmuService(TcmuRing& ring, VirtualDrive& drive, char letter, uint32_t bufferSize)
    : ring_(ring), drive_(drive), letter_(letter), buffer_(bufferSize) {}

bool TcmuService::Serve(const TcmuEntries& entries) {
    bool answered = false;
    for (const TcmuCommand& c : entries.commands) answered |= Run(c);
    // An abort notice: the initiator's time-out has run out and the kernel
    // waits for the command before it reports the abort. Hand it back now.
    for (uint16_t id : entries.aborted) {
        auto it = std::find_if(held_.begin(), held_.end(),
                               [id](const TcmuCommand& c) { return c.id == id; });
        if (it == held_.end()) continue;
        answered |= ring_.Complete(id, kStatusTaskAborted, nullptr, 0, 0);
        held_.erase(it);
    }
    return answered;
}

bool TcmuService::Run(const TcmuCommand& command) {
    SgCommand line;
    std::memcpy(line.cdb, command.cdb, sizeof line.cdb);
    line.length = command.length;
    line.dataIn = !TcmuDataOut(line.cdb, command.length);
    if (trace) trace(SgTraceLine(letter_, line));

    if (command.length > buffer_.size()) {
        DriveOutcome tooLong;
        tooLong.status = kStatusCheckCondition;
        tooLong.sense = {
            kSenseCurrentFixed,    0, kSenseKeyIllegalRequest, 0, 0, 0, 0, 10, 0, 0, 0, 0,
            kAscInvalidFieldInCdb, 0};
        return Answer(command.id, tooLong);
    }
    if (delay && commandDelayMs > 0 && command.length > 0) delay(commandDelayMs);
    if (!line.dataIn) ring_.CopyFromCommand(command, buffer_.data(), command.length);
    const uint32_t commits = drive_.commitCount;
    DriveOutcome outcome = drive_.Execute(line.cdb, line.dataIn, buffer_.data(), command.length);
    if (drive_.commitCount != commits && committed) committed();

    switch (outcome.kind) {
        case DriveOutcome::Kind::TimedOut:
            held_.push_back(command);
            return false;
        case DriveOutcome::Kind::TransportFailure:
            ++refused_;
            if (refuseTransport) refuseTransport();
            return ring_.Complete(command.id, kStatusBusy, nullptr, 0, 0);
        case DriveOutcome::Kind::Completed:
            break;
    }
    if (line.dataIn && outcome.status == kStatusGood && command.length > 0) {
        if (outcome.transferred > 0) {
            ring_.CopyToCommand(command, buffer_.data(), outcome.transferred);
        } else {
            // Nothing moved, yet a zero length tells the kernel "all of it":
            // the host then gets zeros, not what the data area held before.
            std::memset(buffer_.data(), 0, command.length);
            ring_.CopyToCommand(command, buffer_.data(), command.length);
        }
    }
    return Answer(command.id, outcome);
}

bool TcmuService::Answer(uint16_t id, const DriveOutcome& outcome) {
    const bool check = outcome.status == kStatusCheckCondition;
    // Bytes moved to the host are reported, so a short answer reaches the
    // initiator as a residual; with CHECK CONDITION nothing is moved.
    const uint32_t moved = check ? 0 : outcome.transferred;
    return ring_.Complete(id, outcome.status, check ? outcome.sense.data() : nullptr,
                          check ? outcome.sense.size() : 0, moved);
}
#endif
