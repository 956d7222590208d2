#include <cstring>

#include "app/FlashForm.h"

namespace {
void Put24(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 16);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value);
}
}  // namespace

bool TFlashForm::Succeeded() {
    // Zero sense alone is not enough: a command the transport gave up on
    // (failed ioctl, ASPI time-out) comes back with zero sense too.
    return CurrentDrive->SenseIs(0, 0, 0) && CurrentDrive->TransportOk();
}

bool TFlashForm::Judge(const char* prefix) {
    if (Succeeded()) return true;
    form_.MessageBox(prefix + CurrentDrive->ErrorText(), BoxKind::Plain, BoxButtons::Ok);
    return false;
}

void TFlashForm::FillCommandBlock(const uint8_t (&bytes)[12]) {
    std::memcpy(CommandBlock, bytes, 12);
}

bool TFlashForm::WriteE2(const uint8_t* data, uint16_t address, uint8_t count) {
    FillCommandBlock({0xDF, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (unsigned i = 0; i < count; ++i) {
        CommandBlock[7] = static_cast<uint8_t>(address >> 8);
        CommandBlock[8] = static_cast<uint8_t>(address);
        CommandBlock[9] = data[i];
        CurrentDrive->Execute(CommandBlock, kDataIn, 0);
        if (!Judge("Write E2> ")) return false;
        address = static_cast<uint16_t>(address + 1);
    }
    return true;
}

bool TFlashForm::WriteBuffer(uint32_t offset, const uint8_t* data, uint32_t length,
                             uint8_t control) {
    FillCommandBlock({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, control, 0, 0});
    Put24(CommandBlock + 3, offset);
    Put24(CommandBlock + 6, length);
    if (control == 0x80 || control == 0xA0) {
        CurrentDrive->Execute(CommandBlock, kDataIn, 16);
    } else {
        if (length > CDDrive::DataBufferLength()) length = CDDrive::DataBufferLength();
        if (length > 0) std::memcpy(CDDrive::DataBuffer(), data, length);
        CurrentDrive->Execute(CommandBlock, kDataOut, length);
    }
    return Judge("Write Buffer> ");
}

bool TFlashForm::ReadBuffer(uint32_t offset, uint8_t* data, uint32_t length) {
    FillCommandBlock({0x3C, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Put24(CommandBlock + 3, offset);
    Put24(CommandBlock + 6, length);
    if (length > CDDrive::DataBufferLength()) length = CDDrive::DataBufferLength();
    CurrentDrive->Execute(CommandBlock, kDataIn, length);
    if (!Judge("Read Buffer> ")) return false;
    if (length > 0) std::memcpy(data, CDDrive::DataBuffer(), length);
    return true;
}

bool TFlashForm::EntryCritical() {
    FillCommandBlock({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0});
    CurrentDrive->Execute(CommandBlock, kDataIn, 0);
    return Judge("Entry critical> ");
}

bool TFlashForm::CheckDisc() {
    FillCommandBlock({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    CurrentDrive->Execute(CommandBlock, kDataIn, 8);
    return Drives->Current->SenseKeyAscIs(2, 0x3A);
}
