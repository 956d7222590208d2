// The vendor commands on CurrentDrive: each sends the block flash/Commands
// builds and turns a failure into the user's message.
#include <cstring>

#include "app/FlashForm.h"
#include "flash/Commands.h"
#include "drive/Scsi.h"

bool TFlashForm::Succeeded() {
    return CommandSucceeded(*CurrentDrive);
}

bool TFlashForm::Judge(const char* prefix) {
    if (Succeeded()) return true;
    form_.MessageBox(prefix + CurrentDrive->ErrorText(), BoxKind::Plain, BoxButtons::Ok);
    return false;
}

bool TFlashForm::WriteE2(const uint8_t* data, uint16_t address, uint8_t count) {
    for (unsigned i = 0; i < count; ++i) {
        MakeWriteE2(CommandBlock, address, data[i]);
        CurrentDrive->Execute(CommandBlock, kDataIn, 0);
        if (!Judge("Write E2> ")) return false;
        address = static_cast<uint16_t>(address + 1);
    }
    return true;
}

bool TFlashForm::WriteBuffer(uint32_t offset, const uint8_t* data, uint32_t length,
                             uint8_t control) {
    // A caller that still names the commit here gets the commit's own form.
    if (IsCommitControl(control)) return Commit(control);
    MakeWriteBuffer(CommandBlock, offset, length, control);
    if (length > CDDrive::DataBufferLength()) length = CDDrive::DataBufferLength();
    if (length > 0) std::memcpy(CDDrive::DataBuffer(), data, length);
    CurrentDrive->Execute(CommandBlock, kDataOut, length);
    return Judge("Write Buffer> ");
}

bool TFlashForm::Commit(uint8_t control) {
    // The drive answers the commit with 16 bytes; it is sent with length 0.
    MakeWriteBuffer(CommandBlock, 0, 0, control);
    CurrentDrive->Execute(CommandBlock, kDataIn, kCommitReplyLength);
    return Judge("Write Buffer> ");
}

bool TFlashForm::ReadBuffer(uint32_t offset, uint8_t* data, uint32_t length) {
    MakeReadBuffer(CommandBlock, offset, length);
    if (length > CDDrive::DataBufferLength()) length = CDDrive::DataBufferLength();
    CurrentDrive->Execute(CommandBlock, kDataIn, length);
    if (!Judge("Read Buffer> ")) return false;
    if (length > 0) std::memcpy(data, CDDrive::DataBuffer(), length);
    return true;
}

bool TFlashForm::EntryCritical() {
    MakeWriteBuffer(CommandBlock, 0, 0, kControlProfile);
    CurrentDrive->Execute(CommandBlock, kDataIn, 0);
    return Judge("Entry critical> ");
}

bool TFlashForm::CheckDisc() {
    MakeReadCapacity(CommandBlock);
    CurrentDrive->Execute(CommandBlock, kDataIn, 8);
    return CurrentDrive->SenseKeyAscIs(kSenseKeyNotReady, kAscMediumNotPresent);
}
