// Read-back buffers poisoned before each read, so only bytes the drive delivered can match.
#include "flash/ReadBack.h"

#include <algorithm>

#include "drive/CDDrive.h"

void PoisonReadBack(const uint8_t* expected, uint32_t length) {
    uint8_t* area = CDDrive::DataBuffer();
    if (!area || !expected) return;
    const uint32_t n = std::min(length, CDDrive::DataBufferLength());
    for (uint32_t i = 0; i < n; ++i) area[i] = static_cast<uint8_t>(~expected[i]);
}
