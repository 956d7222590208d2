// Placeholder until the scan lands.
#include "drive/CDDrives.h"
CDDrives::CDDrives() {}
CDDrives::~CDDrives() {}
bool CDDrives::Select(int16_t index) {
    if (index < 0 || index >= DriveCount) return false;
    CurrentIndex = index;
    Current = Drives[index];
    return true;
}
