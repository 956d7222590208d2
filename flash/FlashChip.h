// The flash chips the program knows, their programming profiles, and the
// profile a drive is sent for the chip it reports.
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

// The profile for the chip named by a flash identification (its first four
// bytes), laid out in `area`: header (ids, then the size, big-endian), then
// the chip's profile bytes. An unknown chip gets the 4-byte "not found" header.
struct ProfileBuild {
    const FlashChip* chip = nullptr;  // null: no known chip
    uint32_t dataOffset = 0;          // of the chip's profile in FlashProfileData
    uint32_t headerLength = 4;
    uint32_t length = 0;  // the bytes to send
};
// fourByte: the image's 4-byte form (chips matched on the first two ids;
// `length` counts the header). sixByte: the 6-byte header with the extended
// ids (`length` is the rounded profile size alone, as the drives expect).
ProfileBuild BuildProfile(const uint8_t* flashId, bool fourByte, bool sixByte, uint8_t* area);
