// The records of the two storage controls sent beside the command blocks on
// the NT family: the CD-ROM class driver's exclusive access
// (IOCTL_CDROM_EXCLUSIVE_ACCESS, Vista and later) and media change
// notification control (IOCTL_STORAGE_MCN_CONTROL, XP and later). Laid out as
// Microsoft's ntddcdrm.h and ntddstor.h define them; the sizes are checked.
#pragma once
#include <cstdint>

// EXCLUSIVE_ACCESS_REQUEST_TYPE
constexpr uint32_t kExclusiveAccessQueryState = 0;
constexpr uint32_t kExclusiveAccessLockDevice = 1;
constexpr uint32_t kExclusiveAccessUnlockDevice = 2;
// Flags of the lock and the unlock.
constexpr uint32_t kCdromLockIgnoreVolume = 1;
constexpr uint32_t kCdromNoMediaNotifications = 2;
// Caller names: letters, digits, blank and . , : ; - _, with the final zero
// at most this long.
constexpr uint32_t kCdromExclusiveCallerLength = 64;

struct CdromExclusiveAccess {  // CDROM_EXCLUSIVE_ACCESS
    uint32_t RequestType;
    uint32_t Flags;
};

struct CdromExclusiveLock {  // CDROM_EXCLUSIVE_LOCK
    CdromExclusiveAccess Access;
    uint8_t CallerName[kCdromExclusiveCallerLength];
};

struct CdromExclusiveLockState {  // CDROM_EXCLUSIVE_LOCK_STATE
    uint8_t LockState;            // BOOLEAN
    uint8_t CallerName[kCdromExclusiveCallerLength];
};

struct PreventMediaRemoval {  // PREVENT_MEDIA_REMOVAL
    uint8_t Prevent;          // BOOLEAN; TRUE disables media change notification
};

static_assert(sizeof(CdromExclusiveAccess) == 8);
static_assert(sizeof(CdromExclusiveLock) == 72);
static_assert(sizeof(CdromExclusiveLockState) == 65);
static_assert(sizeof(PreventMediaRemoval) == 1);
