// The flasher's command blocks, each built in one place, and the one rule that judges an outcome.
#include "flash/Commands.h"

#include <cstring>

#include "drive/CDDrive.h"
#include "drive/Scsi.h"

namespace {
void Put24(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 16);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value);
}

void Clear(CommandBytes& cdb, uint8_t op) {
    std::memset(cdb, 0, sizeof cdb);
    cdb[0] = op;
}
}  // namespace

void MakeWriteBuffer(CommandBytes& cdb, uint32_t offset, uint32_t length, uint8_t control) {
    Clear(cdb, kOpWriteBuffer);
    cdb[1] = kWriteBufferMode;
    cdb[2] = kBufferId;
    Put24(cdb + 3, offset);
    Put24(cdb + 6, length);
    cdb[9] = control;
}

void MakeReadBuffer(CommandBytes& cdb, uint32_t offset, uint32_t length) {
    Clear(cdb, kOpReadBuffer);
    cdb[1] = kReadBufferMode;
    cdb[2] = kBufferId;
    Put24(cdb + 3, offset);
    Put24(cdb + 6, length);
}

void MakeWriteE2(CommandBytes& cdb, uint16_t address, uint8_t value) {
    Clear(cdb, kOpVendor);
    cdb[1] = kVendorWriteE2;
    cdb[7] = static_cast<uint8_t>(address >> 8);
    cdb[8] = static_cast<uint8_t>(address);
    cdb[9] = value;
}

void MakeReadFlashId(CommandBytes& cdb) {
    Clear(cdb, kOpVendor);
    cdb[1] = kVendorReadFlashId;
}

void MakeLoad(CommandBytes& cdb) {
    Clear(cdb, kOpStartStopUnit);
    cdb[4] = kStartStopLoad;
}

void MakeStop(CommandBytes& cdb) {
    Clear(cdb, kOpStartStopUnit);
    cdb[4] = kStartStopStop;
}

void MakeTestUnitReady(CommandBytes& cdb) {
    Clear(cdb, kOpTestUnitReady);
}

void MakeStopPlayScan(CommandBytes& cdb) {
    Clear(cdb, kOpStopPlayScan);
}

void MakeReadCapacity(CommandBytes& cdb) {
    Clear(cdb, kOpReadCapacity);
}

bool CommandSucceeded(const CDDrive& drive) {
    return drive.SenseIs(0, 0, 0) && drive.TransportOk();
}
