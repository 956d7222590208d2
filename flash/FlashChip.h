// The flash chips the program knows and their programming profiles.
#pragma once
#include <cstddef>
#include <cstdint>

struct FlashChip {
    uint8_t ManufacturerId;
    uint8_t DeviceId;
    uint16_t ProfileSize;
    uint8_t ExtendedId[2];
};

constexpr int kFlashChipCount = 7;
extern const FlashChip FlashChipTable[kFlashChipCount];

extern const uint8_t FlashProfileData[5606];
extern const size_t FlashProfileDataSize;
