// The simulated system's named mutexes and the CD-ROM class driver's storage
// controls: exclusive access (a lock held through one handle; every other
// handle's request refused) and media change notification control.
#include <algorithm>
#include <cstring>

#include "platform/ControlRequests.h"
#include "sim/SimOs.h"

namespace {
uint32_t ErrorOf(SimOs::ControlSupport support) {
    switch (support) {
        case SimOs::ControlSupport::NotSupported:
            return kErrorNotSupported;
        case SimOs::ControlSupport::InvalidFunction:
            return kErrorInvalidFunction;
        case SimOs::ControlSupport::InvalidHandle:
            return kErrorInvalidHandle;
        case SimOs::ControlSupport::Supported:
            break;
    }
    return 0;
}

bool ValidCallerName(const uint8_t (&name)[kCdromExclusiveCallerLength]) {
    size_t n = 0;
    for (; n < sizeof name && name[n]; ++n) {
        const char c = static_cast<char>(name[n]);
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= '0' && c <= '9') || std::strchr(" .,:;-_", c) != nullptr;
        if (!allowed) return false;
    }
    return n > 0 && n < sizeof name;
}
}  // namespace

// ---- mutexes -------------------------------------------------------------------

void SimOs::HoldMutexElsewhere(const std::string& name, bool held) {
    mutexes_[name].heldElsewhere = held;
}

void SimOs::AbandonMutex(const std::string& name) {
    mutexes_[name].heldElsewhere = false;
    mutexes_[name].abandoned = true;
}

bool SimOs::MutexOwned(const std::string& name) const {
    auto it = mutexes_.find(name);
    return it != mutexes_.end() && it->second.ownedHere > 0;
}

size_t SimOs::OpenMutexes() const {
    return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [](auto& o) {
        return o.second.type == Object::Type::Mutex;
    }));
}

OsHandle SimOs::CreateMutexA(bool initialOwner, const char* name) {
    Enter("CreateMutexA");
    const std::string key = name ? name : "";
    mutexNames.push_back(key);
    if (failCreateMutex != 0) {
        lastError = failCreateMutex;
        return nullptr;
    }
    // An unnamed mutex is this handle's alone.
    const bool exists = !key.empty() && mutexes_.count(key) > 0;
    Object o{Object::Type::Mutex};
    o.name = key;
    if (key.empty()) {  // (not "#" + ...: GCC 12 -Wrestrict false positive)
        o.name.assign(1, '#');
        o.name += std::to_string(nextSerial_);
    }
    Mutex& m = mutexes_[o.name];
    if (initialOwner && !m.heldElsewhere) ++m.ownedHere;
    lastError = exists ? kErrorAlreadyExists : 0;
    return NewHandle(o);
}

uint32_t SimOs::WaitForMutex(Object& object, uint32_t milliseconds) {
    Mutex& m = mutexes_[object.name];
    if (m.heldElsewhere) {
        waitedMs += milliseconds;
        return kWaitTimeout;
    }
    ++m.ownedHere;
    if (m.abandoned) {
        m.abandoned = false;
        return kWaitAbandoned;
    }
    return kWaitObject0;
}

bool SimOs::ReleaseMutex(OsHandle mutex) {
    Enter("ReleaseMutex");
    Object* o = Find(mutex);
    if (!o || o->type != Object::Type::Mutex) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    Mutex& m = mutexes_[o->name];
    if (m.ownedHere == 0) {
        lastError = kErrorNotOwner;
        return false;
    }
    --m.ownedHere;
    return true;
}

// ---- storage controls ------------------------------------------------------------

void SimOs::LockElsewhere(char letter, const std::string& callerName) {
    Letter& l = letters_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))];
    l.lockedElsewhere = true;
    l.lockCaller = callerName;
}

OsHandle SimOs::LockHolder(char letter) const {
    auto it = letters_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    return it == letters_.end() ? nullptr : it->second.lockHolder;
}

bool SimOs::PollingOff(char letter) const {
    auto it = letters_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    return it != letters_.end() && !it->second.pollingOff.empty();
}

bool SimOs::LockedAgainst(const Object& device) const {
    auto it = letters_.find(device.letter);
    if (it == letters_.end()) return false;
    const Letter& l = it->second;
    return l.lockedElsewhere || (l.lockHolder && l.lockSerial != device.serial);
}

// A handle's cleanup: the driver drops the lock and the polling request it carried.
void SimOs::Closing(const Object& object) {
    if (object.type != Object::Type::Device) return;
    auto it = letters_.find(object.letter);
    if (it == letters_.end()) return;
    Letter& l = it->second;
    if (l.lockHolder && l.lockSerial == object.serial) {
        l.lockHolder = nullptr;
        l.lockSerial = 0;
        l.lockCaller.clear();
    }
    l.pollingOff.erase(std::remove(l.pollingOff.begin(), l.pollingOff.end(), object.serial),
                       l.pollingOff.end());
}

bool SimOs::StorageControl(Object& device, OsHandle handle, uint32_t code, void* in,
                           uint32_t inSize, void* out, uint32_t outSize, uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    ControlCall call{code, handle, 0, 0, "", false, 0, trace.size()};
    Letter& letter = letters_[device.letter];
    bool ok = false;
    if (code == kIoctlCdromExclusiveAccess)
        ok = ExclusiveAccessControl(device, handle, letter, in, inSize, out, outSize, call);
    else if (code == kIoctlStorageMcnControl)
        ok = PollingControl(device, letter, in, inSize, call);
    else
        call.error = kErrorInvalidFunction;
    if (ok && bytesReturned && code == kIoctlCdromExclusiveAccess &&
        call.requestType == kExclusiveAccessQueryState)
        *bytesReturned = sizeof(CdromExclusiveLockState);
    call.ok = ok;
    if (!ok) lastError = call.error;
    controls.push_back(call);
    return ok;
}

bool SimOs::ExclusiveAccessControl(Object& device, OsHandle handle, Letter& l, const void* in,
                                   uint32_t inSize, void* out, uint32_t outSize,
                                   ControlCall& call) {
    if (!in || inSize < sizeof(CdromExclusiveAccess)) {
        call.error = kErrorBadLength;
        return false;
    }
    CdromExclusiveAccess access;
    std::memcpy(&access, in, sizeof access);
    call.requestType = access.RequestType;
    call.flags = access.Flags;
    if ((call.error = ErrorOf(exclusiveAccess)) != 0) return false;
    switch (access.RequestType) {
        case kExclusiveAccessQueryState: {
            if (!out || outSize < sizeof(CdromExclusiveLockState)) {
                call.error = 122;  // ERROR_INSUFFICIENT_BUFFER
                return false;
            }
            CdromExclusiveLockState state{};
            state.LockState = l.lockedElsewhere || l.lockHolder;
            std::memcpy(state.CallerName, l.lockCaller.data(),
                        std::min(l.lockCaller.size(), sizeof state.CallerName));
            std::memcpy(out, &state, sizeof state);
            return true;
        }
        case kExclusiveAccessLockDevice: {
            CdromExclusiveLock lock{};
            if (inSize < sizeof lock) {
                call.error = kErrorBadLength;
                return false;
            }
            std::memcpy(&lock, in, sizeof lock);
            call.callerName = reinterpret_cast<const char*>(lock.CallerName);
            if (!ValidCallerName(lock.CallerName)) {
                call.error = kErrorInvalidParameter;
                return false;
            }
            if (l.lockedElsewhere || l.lockHolder) {
                call.error = kErrorAccessDenied;
                return false;
            }
            l.lockHolder = handle;
            l.lockSerial = device.serial;
            l.lockCaller = call.callerName;
            return true;
        }
        case kExclusiveAccessUnlockDevice:
            if (!l.lockHolder && !l.lockedElsewhere) {
                call.error = kErrorInvalidFunction;
                return false;
            }
            if (l.lockSerial != device.serial) {
                call.error = kErrorInvalidHandle;
                return false;
            }
            l.lockHolder = nullptr;
            l.lockSerial = 0;
            l.lockCaller.clear();
            return true;
        default:
            call.error = kErrorInvalidParameter;
            return false;
    }
}

bool SimOs::PollingControl(Object& device, Letter& l, const void* in, uint32_t inSize,
                           ControlCall& call) {
    if (!in || inSize < sizeof(PreventMediaRemoval)) {
        call.error = kErrorBadLength;
        return false;
    }
    const bool off = static_cast<const uint8_t*>(in)[0] != 0;
    call.requestType = off ? 1 : 0;
    if ((call.error = ErrorOf(mediaPolling)) != 0) return false;
    // The class driver refuses it on a handle opened for reading or writing
    // data, and from any handle but the owner's while the drive is locked.
    constexpr uint32_t kDataAccess =
        0xC0000000u | 0x3u;  // GENERIC_READ/WRITE, FILE_READ/WRITE_DATA
    if (device.desiredAccess & kDataAccess) {
        call.error = kErrorInvalidParameter;
        return false;
    }
    if (LockedAgainst(device)) {
        call.error = kErrorAccessDenied;
        return false;
    }
    auto at = std::find(l.pollingOff.begin(), l.pollingOff.end(), device.serial);
    if (off && at == l.pollingOff.end()) l.pollingOff.push_back(device.serial);
    if (!off) {
        if (at == l.pollingOff.end()) {
            call.error = 5023;  // ERROR_INVALID_STATE: not turned off through this handle
            return false;
        }
        l.pollingOff.erase(at);
    }
    return true;
}
