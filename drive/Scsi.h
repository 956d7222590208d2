// The one SCSI vocabulary: every operation code, buffer mode and id, control
// byte, sense key, additional sense code and qualifier that the program, the
// simulation and the tools send or judge, and the one test of whether a
// block is the commit (the command that makes a drive program its flash
// chip). The program, the virtual drive, the fuzz targets and the test
// support all ask IsCommit, so they cannot disagree about it. Tests keep the
// literal bytes, so a wrong name cannot hide a wrong byte.
#pragma once
#include <cstdint>

// Operation codes (byte 0) the flasher sends.
constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpStartStopUnit = 0x1B;
constexpr uint8_t kOpReadCapacity = 0x25;
constexpr uint8_t kOpWriteBuffer = 0x3B;
constexpr uint8_t kOpReadBuffer = 0x3C;
constexpr uint8_t kOpStopPlayScan = 0x4E;
constexpr uint8_t kOpVendor = 0xDF;

// Operation codes the virtual drive also answers, as a drive does for the
// host's own commands (Wine, the kernel, udisks).
constexpr uint8_t kOpRequestSense = 0x03;
constexpr uint8_t kOpWrite6 = 0x0A;
constexpr uint8_t kOpModeSelect6 = 0x15;
constexpr uint8_t kOpModeSense6 = 0x1A;
constexpr uint8_t kOpPreventAllowRemoval = 0x1E;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpWrite10 = 0x2A;
constexpr uint8_t kOpWriteVerify10 = 0x2E;
constexpr uint8_t kOpReadSubChannel = 0x42;
constexpr uint8_t kOpReadToc = 0x43;
constexpr uint8_t kOpGetConfiguration = 0x46;
constexpr uint8_t kOpGetEventStatus = 0x4A;
constexpr uint8_t kOpReadDiscInformation = 0x51;
constexpr uint8_t kOpReadTrackInformation = 0x52;
constexpr uint8_t kOpSendOpcInformation = 0x54;
constexpr uint8_t kOpModeSelect10 = 0x55;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpSendCueSheet = 0x5D;
constexpr uint8_t kOpWrite12 = 0xAA;
constexpr uint8_t kOpReadCd = 0xBE;
constexpr uint8_t kOpSendDvdStructure = 0xBF;

// INQUIRY: byte 1's vital-product-data bit, and the 128 bytes the flasher asks.
constexpr uint8_t kInquiryEvpd = 0x01;
constexpr uint8_t kInquiryLength = 0x80;

// START STOP UNIT byte 4: load the medium and start.
constexpr uint8_t kStartStopLoad = 0x03;
constexpr uint8_t kStartStopStop = 0x00;

// Vendor command byte 1.
constexpr uint8_t kVendorWriteE2 = 0x0A;      // one EEPROM byte: address in 7-8, value in 9
constexpr uint8_t kVendorReadFlashId = 0x11;  // 128 bytes, the chip's ids first
constexpr uint32_t kFlashIdLength = 128;

// WRITE BUFFER / READ BUFFER byte 1 (mode) and byte 2 (buffer id).
constexpr uint8_t kWriteBufferMode = 0x05;       // download (all writes, the commit too)
constexpr uint8_t kReadBufferMode = 0x01;        // read back what was downloaded
constexpr uint8_t kBufferModeData = 0x02;        // plain data (the virtual drive takes it too)
constexpr uint8_t kBufferModeDescriptor = 0x03;  // READ BUFFER: the buffer's capacity
constexpr uint8_t kBufferModeMask = 0x1F;        // the mode's bits of byte 1
constexpr uint8_t kBufferId = 0x01;

// WRITE BUFFER byte 9 (control).
constexpr uint8_t kControlData = 0x00;       // image bytes at the offset
constexpr uint8_t kControlProfile = 0x7F;    // profile bytes; with no data: entry critical
constexpr uint8_t kControlCommit = 0x80;     // program the flash chip
constexpr uint8_t kControlCommitAll = 0xA0;  // program it, flash-all form
constexpr uint32_t kCommitReplyLength = 16;  // the commit moves 16 bytes in

// Sense data: the fixed format of current errors, and the keys, additional
// sense codes and qualifiers the flash judges or the virtual drive reports.
constexpr uint8_t kSenseCurrentFixed = 0x70;
constexpr uint8_t kSenseKeyNotReady = 0x02;
constexpr uint8_t kSenseKeyIllegalRequest = 0x05;
constexpr uint8_t kAscNotReady = 0x04;  // with kAscqBecomingReady: becoming ready
constexpr uint8_t kAscqBecomingReady = 0x01;
constexpr uint8_t kAscInvalidOpcode = 0x20;  // invalid command operation code
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;
constexpr uint8_t kAscMediumNotPresent = 0x3A;

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
