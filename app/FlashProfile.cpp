#include <cstring>

#include "app/FlashForm.h"
#include "flash/FlashChip.h"
#include "flash/ReadBack.h"

const FlashChip FlashChipTable[kFlashChipCount] = {
    {0xDA, 0xC8, 0x013A, {0x00, 0x00}}, {0xBF, 0xB4, 0x01C4, {0x00, 0x00}},
    {0xBF, 0xD6, 0x0500, {0x00, 0x01}}, {0xBF, 0xB6, 0x0500, {0x00, 0x01}},
    {0x37, 0x8C, 0x0500, {0x00, 0x01}}, {0xBF, 0xD7, 0x03E8, {0x00, 0x01}},
    {0x37, 0x0D, 0x0500, {0x00, 0x01}},
};

bool TFlashForm::SetupFlashProfile(uint8_t* buildArea) {
    FillCommandBlock({0xDF, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    CurrentDrive->Execute(CommandBlock, kDataIn, 128);
    if (!Judge("Read Flash ID> ")) return false;
    const uint8_t* id = CDDrive::DataBuffer();

    // Entries 2 and 3 share one profile, so entry 2's size never moves the offset.
    uint32_t offset = 0;
    const FlashChip* found = nullptr;
    for (int i = 0; i < kFlashChipCount; ++i) {
        const FlashChip& chip = FlashChipTable[i];
        if (id[0] == chip.ManufacturerId && id[1] == chip.DeviceId &&
            (ProfileFormatA || (id[2] == chip.ExtendedId[0] && id[3] == chip.ExtendedId[1]))) {
            found = &chip;
            break;
        }
        if (i != 2) offset += chip.ProfileSize;
    }
    ProfileDataOffset = offset;

    uint32_t n = 0;
    uint32_t headerLength = 4;
    if (found) {
        ProfileFound = true;
        uint8_t* p = buildArea;
        *p++ = found->ManufacturerId;
        *p++ = found->DeviceId;
        if (ProfileFormatB) {
            *p++ = found->ExtendedId[0];
            *p++ = found->ExtendedId[1];
        }
        *p++ = static_cast<uint8_t>(found->ProfileSize >> 8);
        *p++ = static_cast<uint8_t>(found->ProfileSize);
        headerLength = static_cast<uint32_t>(p - buildArea);
        ProfileHeaderLength = headerLength;
        std::memcpy(p, FlashProfileData + ProfileDataOffset, found->ProfileSize);
        n = (found->ProfileSize + 1u) & ~1u;
    } else {
        const uint8_t notFound[4] = {0xFF, 0xFF, 0x00, 0x00};
        std::memcpy(buildArea, notFound, 4);
    }
    // The second form sends the rounded size itself, header included.
    ProfileLength = ProfileFormatA ? n + headerLength : n;

    std::memcpy(CDDrive::DataBuffer(), buildArea, ProfileLength);
    FillCommandBlock({0x3B, 0x05, 0x01, static_cast<uint8_t>(ProfileFormatB ? 0x00 : 0x08), 0, 0, 0,
                      static_cast<uint8_t>(ProfileLength >> 8), static_cast<uint8_t>(ProfileLength),
                      0x7F, 0, 0});
    CurrentDrive->Execute(CommandBlock, kDataOut, ProfileLength);
    return Judge("Write Profile> ");
}

bool TFlashForm::ReadVerifyProfile(const uint8_t* copy) {
    if (ProfileFormatB) {
        uint32_t count =
            ProfileLength > ProfileHeaderLength ? ProfileLength - ProfileHeaderLength : 0;
        return std::memcmp(copy + ProfileHeaderLength, FlashProfileData + ProfileDataOffset,
                           count) == 0;
    }
    FillCommandBlock({0x3C, 0x01, 0x01, 0x08, 0, 0, 0, static_cast<uint8_t>(ProfileLength >> 8),
                      static_cast<uint8_t>(ProfileLength), 0, 0, 0});
    PoisonReadBack(copy, ProfileLength);
    CurrentDrive->Execute(CommandBlock, kDataIn, ProfileLength);
    if (!Judge("Read Profile> ")) return false;
    if (std::memcmp(CDDrive::DataBuffer(), copy, ProfileLength) != 0) {
        form_.MessageBox("Compared profile error!", BoxKind::Plain, BoxButtons::Ok);
        return false;
    }
    return true;
}
