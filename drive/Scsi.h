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

// The status byte a drive ends a command with (pass-through), by name.
constexpr const char* ScsiStatusName(uint8_t status) {
    switch (status) {
        case 0x00:
            return "GOOD";
        case 0x02:
            return "CHECK CONDITION";
        case 0x04:
            return "CONDITION MET";
        case 0x08:
            return "BUSY";
        case 0x18:
            return "RESERVATION CONFLICT";
        case 0x28:
            return "TASK SET FULL";
        case 0x30:
            return "ACA ACTIVE";
        case 0x40:
            return "TASK ABORTED";
        default:
            return nullptr;
    }
}

// The names of the sixteen sense keys, and of the additional sense codes
// and qualifiers an optical drive reports to the commands a flasher sends
// (the command log and nfinfo --decode print them). A code not listed has
// no name: it is printed in hexadecimal as unknown, never under a wrong name.
constexpr const char* kSenseKeyNames[16] = {
    "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
    "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
    "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
    "EQUAL",          "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED",
};
constexpr const char* SenseKeyName(uint8_t key) {
    return key < 16 ? kSenseKeyNames[key] : nullptr;
}

struct AdditionalSense {
    uint8_t asc;
    uint8_t ascq;
    const char* name;
};
constexpr AdditionalSense kAdditionalSenses[] = {
    {0x00, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
    {0x00, 0x11, "AUDIO PLAY OPERATION IN PROGRESS"},
    {0x02, 0x00, "NO SEEK COMPLETE"},
    {kAscNotReady, 0x00, "LOGICAL UNIT NOT READY, CAUSE NOT REPORTABLE"},
    {kAscNotReady, kAscqBecomingReady, "LOGICAL UNIT IS IN PROCESS OF BECOMING READY"},
    {kAscNotReady, 0x02, "LOGICAL UNIT NOT READY, INITIALIZING COMMAND REQUIRED"},
    {kAscNotReady, 0x03, "LOGICAL UNIT NOT READY, MANUAL INTERVENTION REQUIRED"},
    {kAscNotReady, 0x04, "LOGICAL UNIT NOT READY, FORMAT IN PROGRESS"},
    {kAscNotReady, 0x07, "LOGICAL UNIT NOT READY, OPERATION IN PROGRESS"},
    {kAscNotReady, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
    {0x05, 0x00, "LOGICAL UNIT DOES NOT RESPOND TO SELECTION"},
    {0x06, 0x00, "NO REFERENCE POSITION FOUND"},
    {0x08, 0x00, "LOGICAL UNIT COMMUNICATION FAILURE"},
    {0x08, 0x01, "LOGICAL UNIT COMMUNICATION TIME-OUT"},
    {0x08, 0x02, "LOGICAL UNIT COMMUNICATION PARITY ERROR"},
    {0x09, 0x00, "TRACK FOLLOWING ERROR"},
    {0x0C, 0x00, "WRITE ERROR"},
    {0x11, 0x00, "UNRECOVERED READ ERROR"},
    {0x15, 0x00, "RANDOM POSITIONING ERROR"},
    {0x1A, 0x00, "PARAMETER LIST LENGTH ERROR"},
    {0x1D, 0x00, "MISCOMPARE DURING VERIFY OPERATION"},
    {kAscInvalidOpcode, 0x00, "INVALID COMMAND OPERATION CODE"},
    {0x21, 0x00, "LOGICAL BLOCK ADDRESS OUT OF RANGE"},
    {kAscInvalidFieldInCdb, 0x00, "INVALID FIELD IN CDB"},
    {0x25, 0x00, "LOGICAL UNIT NOT SUPPORTED"},
    {0x26, 0x00, "INVALID FIELD IN PARAMETER LIST"},
    {0x26, 0x01, "PARAMETER NOT SUPPORTED"},
    {0x26, 0x02, "PARAMETER VALUE INVALID"},
    {0x27, 0x00, "WRITE PROTECTED"},
    {0x28, 0x00, "NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED"},
    {0x29, 0x00, "POWER ON, RESET, OR BUS DEVICE RESET OCCURRED"},
    {0x29, 0x01, "POWER ON OCCURRED"},
    {0x29, 0x02, "SCSI BUS RESET OCCURRED"},
    {0x29, 0x03, "BUS DEVICE RESET FUNCTION OCCURRED"},
    {0x29, 0x04, "DEVICE INTERNAL RESET"},
    {0x2A, 0x00, "PARAMETERS CHANGED"},
    {0x2C, 0x00, "COMMAND SEQUENCE ERROR"},
    {0x30, 0x00, "INCOMPATIBLE MEDIUM INSTALLED"},
    {0x31, 0x00, "MEDIUM FORMAT CORRUPTED"},
    {kAscMediumNotPresent, 0x00, "MEDIUM NOT PRESENT"},
    {kAscMediumNotPresent, 0x01, "MEDIUM NOT PRESENT - TRAY CLOSED"},
    {kAscMediumNotPresent, 0x02, "MEDIUM NOT PRESENT - TRAY OPEN"},
    {0x3E, 0x00, "LOGICAL UNIT HAS NOT SELF-CONFIGURED YET"},
    {0x3E, 0x01, "LOGICAL UNIT FAILURE"},
    {0x3E, 0x02, "TIMEOUT ON LOGICAL UNIT"},
    {0x3F, 0x01, "MICROCODE HAS BEEN CHANGED"},
    {0x3F, 0x03, "INQUIRY DATA HAS CHANGED"},
    {0x44, 0x00, "INTERNAL TARGET FAILURE"},
    {0x47, 0x00, "SCSI PARITY ERROR"},
    {0x4E, 0x00, "OVERLAPPED COMMANDS ATTEMPTED"},
    {0x53, 0x00, "MEDIA LOAD OR EJECT FAILED"},
    {0x53, 0x02, "MEDIUM REMOVAL PREVENTED"},
    {0x5A, 0x01, "OPERATOR MEDIUM REMOVAL REQUEST"},
    {0x5D, 0x00, "FAILURE PREDICTION THRESHOLD EXCEEDED"},
    {0x73, 0x00, "CD CONTROL ERROR"},
};
constexpr const char* AdditionalSenseName(uint8_t asc, uint8_t ascq) {
    for (const AdditionalSense& a : kAdditionalSenses)
        if (a.asc == asc && a.ascq == ascq) return a.name;
    return nullptr;
}

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
