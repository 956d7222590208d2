// The simulated system's handles, files, events and mutexes.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"
#include "sim/SimOsText.h"

using namespace sim_os;

// ---- handles -------------------------------------------------------------------

// Handle values are multiples of 4 from 4; the lowest free value is reused,
// as Windows does, so a stale handle can name a newer object.
OsHandle SimOs::NewHandle(Object object) {
    uintptr_t value = 4;
    while (objects_.count(value)) value += 4;
    object.serial = nextSerial_++;
    objects_[value] = object;
    return reinterpret_cast<OsHandle>(value);
}

SimOs::Object* SimOs::Find(OsHandle handle) {
    auto it = objects_.find(Key(handle));
    return it == objects_.end() ? nullptr : &it->second;
}

void SimOs::Signal(OsHandle handle, uint64_t serial) {
    Object* o = Find(handle);
    if (!o || o->type != Object::Type::Event) {
        ++lostSignals;
        return;
    }
    if (serial != 0 && o->serial != serial) ++misdirectedSignals;
    o->signalled = true;
}

void SimOs::Enter(const char* call) {
    calls.push_back(call);
    for (size_t i = 0; i < deferredSignals_.size();) {
        if (--deferredSignals_[i].callsLeft == 0) {
            DeferredSignal d = deferredSignals_[i];
            deferredSignals_.erase(deferredSignals_.begin() + static_cast<std::ptrdiff_t>(i));
            Signal(d.event, d.serial);
        } else {
            ++i;
        }
    }
}

OsHandle SimOs::CreateEventA(bool manualReset, bool initialState) {
    Enter("CreateEventA");
    if (failCreateEvent != 0) {
        lastError = failCreateEvent;
        return nullptr;
    }
    Object o{Object::Type::Event};
    o.manualReset = manualReset;
    o.signalled = initialState;
    return NewHandle(o);
}

uint32_t SimOs::WaitForSingleObject(OsHandle handle, uint32_t milliseconds) {
    Enter("WaitForSingleObject");
    Object* o = Find(handle);
    if (o && o->type == Object::Type::Mutex) return WaitForMutex(*o, milliseconds);
    if (!o || o->type != Object::Type::Event) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return kWaitFailed;
    }
    if (!o->signalled) {
        // Late completion: a pending request naming this event completes now.
        for (size_t i = 0; i < pending_.size(); ++i) {
            if (!pending_[i].timedOut && pending_[i].notify && pending_[i].event == handle) {
                Pending p = pending_[i];
                pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
                Finish(p);
                AfterCommand();
                break;
            }
        }
        o = Find(handle);
    }
    if (o && o->signalled) {
        if (!o->manualReset) o->signalled = false;
        return kWaitObject0;
    }
    waitedMs += milliseconds;
    return kWaitTimeout;
}

bool SimOs::ResetEvent(OsHandle event) {
    Enter("ResetEvent");
    Object* o = Find(event);
    if (!o || o->type != Object::Type::Event) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    o->signalled = false;
    return true;
}

bool SimOs::CloseHandle(OsHandle handle) {
    Enter("CloseHandle");
    if (disk_.Owns(handle)) {
        bool ok = disk_.CloseHandle(handle);
        if (!ok) lastError = disk_.lastError;
        return ok;
    }
    Object* o = Find(handle);
    if (!o) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    Closing(*o);
    objects_.erase(Key(handle));
    return true;
}

// ---- the builder's output files (real ones; the log's: SimOsFiles.cpp)
// -----------------------------------------

bool SimOs::WriteFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) {
    if (!disk_.Owns(file)) return WriteMemoryFile(file, data, size, written);
    Enter("WriteFile");
    bool ok = disk_.WriteFile(file, data, size, written);
    if (!ok) lastError = disk_.lastError;
    return ok;
}

bool SimOs::FlushFileBuffers(OsHandle file) {
    Enter("FlushFileBuffers");
    bool ok = disk_.FlushFileBuffers(file);
    if (!ok) lastError = disk_.lastError;
    return ok;
}

bool SimOs::DeleteFileA(const char* name) {
    Enter("DeleteFileA");
    bool ok = disk_.DeleteFileA(name);
    if (!ok) lastError = disk_.lastError;
    return ok;
}

bool SimOs::MoveFileA(const char* existingName, const char* newName) {
    Enter("MoveFileA");
    bool ok = disk_.MoveFileA(existingName, newName);
    if (!ok) lastError = disk_.lastError;
    return ok;
}

bool SimOs::MoveFileExA(const char* existingName, const char* newName, uint32_t flags) {
    Enter("MoveFileExA");
    // The 9x family only stubs it.
    if (platformId == kPlatformWin32Windows) {
        lastError = kErrorCallNotImplemented;
        return false;
    }
    bool ok = disk_.MoveFileExA(existingName, newName, flags);
    if (!ok) lastError = disk_.lastError;
    return ok;
}
