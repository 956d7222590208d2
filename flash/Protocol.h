// The command blocks the flasher sends, every byte of meaning named: operation
// codes, buffer modes and id, control bytes, and the one test of whether a
// block is the commit (the command that makes a drive program its flash
// chip). The program, the virtual drive, the fuzz targets and the test
// support all ask IsCommit, so they cannot disagree about it.
#pragma once
#include <cstdint>

// Operation codes (byte 0).
constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpStartStopUnit = 0x1B;
constexpr uint8_t kOpReadCapacity = 0x25;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpStopPlayScan = 0x4E;
constexpr uint8_t kOpVendor = 0xDF;

// START STOP UNIT byte 4: load the medium and start.
constexpr uint8_t kStartStopLoad = 0x03;
constexpr uint8_t kStartStopStop = 0x00;

// Vendor command byte 1.
constexpr uint8_t kVendorWriteE2 = 0x0A;      // one EEPROM byte: address in 7-8, value in 9
constexpr uint8_t kVendorReadFlashId = 0x11;  // 128 bytes, the chip's ids first
constexpr uint32_t kFlashIdLength = 128;

// WRITE BUFFER / READ BUFFER byte 1 (mode) and byte 2 (buffer id).
constexpr uint8_t kWriteBufferMode = 0x05;  // download (all writes, the commit too)
constexpr uint8_t kReadBufferMode = 0x01;   // read back what was downloaded
constexpr uint8_t kBufferModeMask = 0x1F;   // the mode's bits of byte 1
constexpr uint8_t kBufferId = 0x01;

// WRITE BUFFER byte 9 (control).
constexpr uint8_t kControlData = 0x00;       // image bytes at the offset
constexpr uint8_t kControlProfile = 0x7F;    // profile bytes; with no data: entry critical
constexpr uint8_t kControlCommit = 0x80;     // program the flash chip
constexpr uint8_t kControlCommitAll = 0xA0;  // program it, flash-all form
constexpr uint32_t kCommitReplyLength = 16;  // the commit moves 16 bytes in

// Where the profile goes in the drive's buffer memory (the second profile
// form is sent to offset 0).
constexpr uint32_t kProfileAreaOffset = 0x080000;

// The one test of the commit: a download-mode WRITE BUFFER with a commit
// control byte.
constexpr bool IsCommitControl(uint8_t control) {
    return control == kControlCommit || control == kControlCommitAll;
}
constexpr bool IsCommit(const uint8_t* cdb) {
    return cdb[0] == kOpWriteBuffer && (cdb[1] & kBufferModeMask) == kWriteBufferMode &&
           IsCommitControl(cdb[9]);
}
