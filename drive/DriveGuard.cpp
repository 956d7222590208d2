// The drive's exclusive lock and media polling for the span of a flash.
#include "drive/DriveGuard.h"

#include <cstring>

#include "platform/ControlRequests.h"
#include "drive/DriveState.h"

using namespace drive_state;

namespace {
bool Guardable(const CDDrive& drive) {
    return gOs && gUsePassThrough && drive.DeviceHandle && drive.DeviceHandle != InvalidOsHandle();
}

// The caller name as the driver takes it: the allowed characters only, ended
// by a zero within its 64 bytes.
void CopyCallerName(uint8_t (&to)[kCdromExclusiveCallerLength], const char* name) {
    std::memset(to, 0, sizeof to);
    size_t n = 0;
    for (; name && *name && n + 1 < sizeof to; ++name) {
        const char c = *name;
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= '0' && c <= '9') || std::strchr(" .,:;-_", c) != nullptr;
        if (allowed) to[n++] = static_cast<uint8_t>(c);
    }
}
}  // namespace

bool DriveGuard::LockedByAnother(CDDrive& drive, std::string& owner) {
    owner.clear();
    if (!Guardable(drive)) return false;
    CdromExclusiveAccess query = {kExclusiveAccessQueryState, 0};
    CdromExclusiveLockState state{};
    uint32_t returned = 0;
    if (!gOs->DeviceIoControl(drive.DeviceHandle, kIoctlCdromExclusiveAccess, &query, sizeof query,
                              &state, sizeof state, &returned))
        return false;  // no exclusive access on this system: nobody can hold it
    if (!state.LockState) return false;
    // The driver's name may fill the field without a final zero.
    const char* name = reinterpret_cast<const char*>(state.CallerName);
    const void* end = std::memchr(name, 0, sizeof state.CallerName);
    owner.assign(name, end ? static_cast<const char*>(end) : name + sizeof state.CallerName);
    return true;
}

DriveGuard::Outcome DriveGuard::Take(CDDrive& drive, const char* callerName, std::string& owner) {
    owner.clear();
    Release();
    if (!Guardable(drive)) return Outcome::Taken;
    drive_ = &drive;
    // Polling first: once the drive is locked, the class driver refuses the
    // notification control that comes through any other handle.
    PollingOffFor(drive);

    CdromExclusiveLock lock{};
    lock.Access.RequestType = kExclusiveAccessLockDevice;
    // The readiness wait has just shown that no medium is present, so a
    // volume the file system still counts as mounted holds nothing to lose.
    lock.Access.Flags = kCdromLockIgnoreVolume;
    CopyCallerName(lock.CallerName, callerName);
    uint32_t returned = 0;
    if (gOs->DeviceIoControl(drive.DeviceHandle, kIoctlCdromExclusiveAccess, &lock, sizeof lock,
                             nullptr, 0, &returned)) {
        locked_ = true;
        return Outcome::Taken;
    }
    // Taken before anything else can change the thread's last error.
    const uint32_t error = gOs->GetLastError();
    if (error == kErrorAccessDenied && LockedByAnother(drive, owner)) {
        Release();
        return Outcome::LockedByOther;
    }
    // Any other refusal (older Windows, Wine, a handle the driver did not
    // open): the flash goes on without the lock.
    owner.clear();
    return Outcome::Taken;
}

void DriveGuard::PollingOffFor(CDDrive& drive) {
    // The control counts for the handle it came through and only on a handle
    // opened for attributes alone; closing that handle turns polling back on.
    char name[] = "\\\\.\\?:";
    name[4] = drive.DriveLetter;
    OsHandle handle =
        gOs->CreateFileA(name, kFileReadAttributes, kFileShareReadWrite, kOpenExisting, 0);
    if (!handle || handle == InvalidOsHandle()) return;
    PreventMediaRemoval prevent = {1};
    uint32_t returned = 0;
    if (gOs->DeviceIoControl(handle, kIoctlStorageMcnControl, &prevent, sizeof prevent, nullptr, 0,
                             &returned))
        pollingHandle_ = handle;
    else
        gOs->CloseHandle(handle);
}

void DriveGuard::Release() {
    if (drive_ && gOs) {
        if (locked_) {
            CdromExclusiveAccess unlock = {kExclusiveAccessUnlockDevice,
                                           kCdromNoMediaNotifications};
            uint32_t returned = 0;
            gOs->DeviceIoControl(drive_->DeviceHandle, kIoctlCdromExclusiveAccess, &unlock,
                                 sizeof unlock, nullptr, 0, &returned);
        }
        if (pollingHandle_) gOs->CloseHandle(pollingHandle_);
    }
    locked_ = false;
    pollingHandle_ = nullptr;
    drive_ = nullptr;
}
