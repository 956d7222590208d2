// Running one command on the chosen transport, and the record of its outcome.
#include "drive/CDDrive.h"

#include "drive/DriveState.h"

using namespace drive_state;

int32_t CDDrive::Execute(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                         uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                         uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length) {
    const uint8_t cdb[12] = {cdb0, cdb1, cdb2, cdb3, cdb4,  cdb5,
                             cdb6, cdb7, cdb8, cdb9, cdb10, cdb11};
    return Execute(cdb, direction, length);
}

int32_t CDDrive::Execute(const uint8_t cdb[12], uint8_t direction, uint32_t length) {
    uint8_t* area = gUseIdentifyBuffer ? gIdentifyBuffer : gDataBuffer;
    if (!gOs) return 0;
    return gUsePassThrough ? ExecutePassThrough(cdb, direction, length, area)
                           : ExecuteAspi(cdb, direction, length, area);
}

bool CDDrive::SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const {
    return SenseKey == key && Asc == asc && Ascq == ascq;
}

bool CDDrive::SenseKeyAscIs(uint8_t key, uint8_t asc) const {
    return SenseKey == key && Asc == asc;
}

bool CDDrive::TransportOk() const {
    return gUsePassThrough ? IoctlOk : Status == kSsComp;
}

std::string CDDrive::ErrorText() const {
    return Format("%02X %02X %02X. %02X, %04X", SenseKey, Asc, Ascq, Status, LastSystemError);
}

void CDDrive::ShowSystemError() {
    if (!gOs) return;
    ReportSystemError(gOs->GetLastError());
}

void CDDrive::ReportSystemError(uint32_t error) {
    if (!gOs) return;
    LastSystemError = error;
    if (!gReportErrors) return;
    char text[80] = {};
    // No arguments are passed, so inserts (%1 ...) must stay as they stand.
    uint32_t n = gOs->FormatMessageA(kFormatMessageFromSystem | kFormatMessageIgnoreInserts,
                                     LastSystemError, 0, text, sizeof text);
    if (n > 0) {
        text[sizeof text - 1] = 0;
        gMessageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, %s", SenseKey, Asc, Ascq,
                              Status, static_cast<int>(LastSystemError), text);
    } else {
        gMessageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.",
                              SenseKey, Asc, Ascq, Status, static_cast<int>(LastSystemError));
    }
    ShowBox(gMessageText, BoxKind::Plain);
}
