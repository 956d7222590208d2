// The flash chips the program knows and the programming profile built for each.
#include "flash/FlashChip.h"

#include <cstring>

const FlashChip FlashChipTable[kFlashChipCount] = {
    {0xDA, 0xC8, 0x013A, {0x00, 0x00}}, {0xBF, 0xB4, 0x01C4, {0x00, 0x00}},
    {0xBF, 0xD6, 0x0500, {0x00, 0x01}}, {0xBF, 0xB6, 0x0500, {0x00, 0x01}},
    {0x37, 0x8C, 0x0500, {0x00, 0x01}}, {0xBF, 0xD7, 0x03E8, {0x00, 0x01}},
    {0x37, 0x0D, 0x0500, {0x00, 0x01}},
};

ProfileBuild BuildProfile(const uint8_t* id, bool fourByte, bool sixByte, uint8_t* area) {
    ProfileBuild build;
    // Entries 2 and 3 share one profile, so entry 2's size never moves the offset.
    uint32_t offset = 0;
    for (int i = 0; i < kFlashChipCount; ++i) {
        const FlashChip& chip = FlashChipTable[i];
        if (id[0] == chip.ManufacturerId && id[1] == chip.DeviceId &&
            (fourByte || (id[2] == chip.ExtendedId[0] && id[3] == chip.ExtendedId[1]))) {
            build.chip = &chip;
            break;
        }
        if (i != 2) offset += chip.ProfileSize;
    }
    build.dataOffset = offset;

    uint32_t n = 0;
    if (const FlashChip* found = build.chip) {
        uint8_t* p = area;
        *p++ = found->ManufacturerId;
        *p++ = found->DeviceId;
        if (sixByte) {
            *p++ = found->ExtendedId[0];
            *p++ = found->ExtendedId[1];
        }
        *p++ = static_cast<uint8_t>(found->ProfileSize >> 8);
        *p++ = static_cast<uint8_t>(found->ProfileSize);
        build.headerLength = static_cast<uint32_t>(p - area);
        std::memcpy(p, FlashProfileData + offset, found->ProfileSize);
        n = (found->ProfileSize + 1u) & ~1u;
    } else {
        const uint8_t notFound[4] = {0xFF, 0xFF, 0x00, 0x00};
        std::memcpy(area, notFound, 4);
    }
    // The four-byte form sends the rounded size itself, header included.
    build.length = fourByte ? n + build.headerLength : n;
    return build;
}
