// One flash at a time on this computer: the system-wide named mutex, taken and given back.
#include "app/FlashMutex.h"

namespace {
constexpr const char* kMutexName = "NorvexFlash.DriveFirmwareFlash";
constexpr uint32_t kFirstWithSessions = 5;  // Windows 2000
}  // namespace

std::string FlashMutex::Name(OsCalls& os) {
    OsVersionInfo version;
    const bool known = os.GetVersionExA(version);
    if (known && version.dwPlatformId == kPlatformWin32Nt &&
        version.dwMajorVersion >= kFirstWithSessions)
        return std::string("Global\\") + kMutexName;
    return kMutexName;
}

FlashMutex::Result FlashMutex::Take() {
    Release();
    const std::string name = Name(os_);
    handle_ = os_.CreateMutexA(false, name.c_str());
    if (!handle_) return Result::Unavailable;
    switch (os_.WaitForSingleObject(handle_, 0)) {
        case kWaitObject0:
        // A flasher that ended while flashing left it abandoned: the mutex is
        // this flash's now, and a drive it left half-flashed is what a new
        // flash is for.
        case kWaitAbandoned:
            owned_ = true;
            return Result::Taken;
        case kWaitTimeout:
            Release();
            return Result::Busy;
        default:
            Release();
            return Result::Unavailable;
    }
}

void FlashMutex::Release() {
    if (owned_) os_.ReleaseMutex(handle_);
    if (handle_) os_.CloseHandle(handle_);
    owned_ = false;
    handle_ = nullptr;
}

bool FlashMutex::HeldElsewhere() {
    const bool busy = Take() == Result::Busy;
    Release();
    return busy;
}
