// The drive scan and the collection of accepted drives.
#include "drive/CDDrives.h"

#include <vector>

namespace {
constexpr int kAspiAdapters = 20;
constexpr int kAspiTargets = 2;
constexpr uint32_t kRootBufferLength = 80;
constexpr int kRootRetries = 4;
}  // namespace

CDDrives::CDDrives() {
    DriveCount = 0;
    CurrentIndex = 0;
    OsCalls* os = CDDrive::System();  // the seam the drive layer is attached to
    if (!os) return;

    // Offers one candidate: kept when its construction succeeded, otherwise
    // freed at once (a drive that never loaded is freed without teardown logic).
    auto offer = [this](CDDrive* candidate) {
        Drives[CurrentIndex] = candidate;
        if (CDDrive::LoadState() == kLoadDone) {
            ++CurrentIndex;
            ++DriveCount;
        } else {
            Drives[CurrentIndex] = nullptr;
            delete candidate;
        }
    };

    OsVersionInfo info;
    info.dwOSVersionInfoSize = 148;
    info.dwPlatformId = 0;
    os->GetVersionExA(info);
    if (info.dwPlatformId == kPlatformWin32Nt) {
        // The roots "X:\" one after the other, 4 characters each with the
        // terminating zero. When 80 characters are too few the call reports
        // the size it needs: ask again with that size.
        std::vector<char> roots(kRootBufferLength, 0);
        uint32_t used = os->GetLogicalDriveStringsA(kRootBufferLength, roots.data());
        for (int retry = 0; used > roots.size() && retry < kRootRetries; ++retry) {
            roots.assign(used + 1, 0);
            used = os->GetLogicalDriveStringsA(static_cast<uint32_t>(roots.size()), roots.data());
        }
        if (used > roots.size()) used = 0;  // still too small: nothing was filled
        for (size_t i = 0; i + 3 < roots.size() && i < used && roots[i] != 0; i += 4) {
            if (DriveCount >= kMaxDrives) break;
            if (os->GetDriveTypeA(&roots[i]) == kDriveCdrom) offer(new CDDrive(roots[i], 0, 0, 0));
        }
    } else {
        // A layer that failed to load ('b') fails the same way for every
        // candidate, and no drive can load without it: its box is shown once
        // and the scan ends there, with an empty collection. The silent codes
        // 'a' and 0x60 keep the full scan.
        bool layerMissing = false;
        auto scanning = [&] { return DriveCount < kMaxDrives && !layerMissing; };
        for (int adapter = 0; adapter < kAspiAdapters && scanning(); ++adapter)
            for (int target = 0; target < kAspiTargets && scanning(); ++target) {
                offer(new CDDrive(' ', static_cast<uint8_t>(adapter), static_cast<uint8_t>(target),
                                  0));
                layerMissing = CDDrive::LoadState() == 'b';
            }
    }
    if (DriveCount > 0) Select(0);
}

CDDrives::~CDDrives() {
    for (int i = static_cast<int>(DriveCount) - 1; i >= 0; --i) {
        delete Drives[i];
        Drives[i] = nullptr;
    }
    Current = nullptr;
}

bool CDDrives::Select(int16_t index) {
    if (index < 0 || index >= DriveCount) return false;
    CurrentIndex = index;
    Current = Drives[index];
    return true;
}
