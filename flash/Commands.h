// The flasher's command blocks, each built in one place, and the one rule
// that judges a command's outcome. No window here: the caller sends the
// block and says what a failure means to the user.
#pragma once
#include <cstdint>

class CDDrive;

using CommandBytes = uint8_t[12];

// WRITE BUFFER (download mode): `length` bytes to `offset` of the drive's
// buffer memory; the control byte says what they are (drive/Scsi.h).
void MakeWriteBuffer(CommandBytes& cdb, uint32_t offset, uint32_t length, uint8_t control);
// READ BUFFER: `length` bytes back from `offset`.
void MakeReadBuffer(CommandBytes& cdb, uint32_t offset, uint32_t length);
// Vendor: one EEPROM byte at `address`.
void MakeWriteE2(CommandBytes& cdb, uint16_t address, uint8_t value);
// Vendor: the flash chip's identification.
void MakeReadFlashId(CommandBytes& cdb);
// The commands without parameters.
void MakeLoad(CommandBytes& cdb);
void MakeStop(CommandBytes& cdb);
void MakeTestUnitReady(CommandBytes& cdb);
void MakeStopPlayScan(CommandBytes& cdb);
void MakeReadCapacity(CommandBytes& cdb);

// Zero sense alone is not enough: a command the transport gave up on
// (failed ioctl, ASPI time-out) comes back with zero sense too.
bool CommandSucceeded(const CDDrive& drive);
