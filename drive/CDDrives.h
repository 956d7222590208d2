// The drives found by one scan, at most 24, in scan order.
#pragma once
#include <cstdint>

#include "drive/CDDrive.h"

constexpr int kMaxDrives = 24;

class CDDrives {
  public:
    CDDrives();  // the scan
    ~CDDrives();
    CDDrives(const CDDrives&) = delete;
    CDDrives& operator=(const CDDrives&) = delete;

    uint8_t Count() const { return DriveCount; }
    bool Select(int16_t index);

    uint8_t DriveCount = 0;
    int32_t CurrentIndex = 0;
    CDDrive* Drives[kMaxDrives] = {};
    CDDrive* Current = nullptr;
};
