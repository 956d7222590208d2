// The simulated system's pass-through: IOCTL_SCSI_PASS_THROUGH_DIRECT to virtual drives.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"
#include "sim/SimOsText.h"

using namespace sim_os;

// ---- pass-through ----------------------------------------------------------------

OsHandle SimOs::CreateFileA(const char* name, uint32_t desiredAccess, uint32_t shareMode,
                            uint32_t creationDisposition, uint32_t flags) {
    Enter("CreateFileA");
    opens.push_back({name ? name : "", desiredAccess, shareMode, creationDisposition, flags});
    const bool device = name && std::strncmp(name, "\\\\.\\", 4) == 0;
    if (name && !device && creationDisposition == kOpenAlways && (desiredAccess & kGenericWrite))
        return CreatePlainFile(name);
    if (name && !device && (desiredAccess & kGenericWrite)) {
        OsHandle file = disk_.CreateFileA(name, creationDisposition);
        lastError = disk_.lastError;
        return file;
    }
    // "\\.\X:"
    if (!name || std::strlen(name) != 6 || std::strncmp(name, "\\\\.\\", 4) != 0 ||
        name[5] != ':') {
        lastError = kErrorFileNotFound;
        return InvalidOsHandle();
    }
    auto it = letters_.find(Upper(name[4]));
    if (it == letters_.end()) {
        lastError = kErrorFileNotFound;
        return InvalidOsHandle();
    }
    if (it->second.failOpen) {
        lastError = it->second.openError;
        return InvalidOsHandle();
    }
    Object o{Object::Type::Device};
    o.letter = it->first;
    o.desiredAccess = desiredAccess;
    return NewHandle(o);
}

bool SimOs::DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t* bytesReturned) {
    Enter("DeviceIoControl");
    lastIoctlCode = code;
    lastIoctlInSize = inSize;
    lastIoctlOutSize = outSize;
    lastIoctlSameBuffer = in == out;
    Object* o = Find(device);
    if (!o || o->type != Object::Type::Device) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (code != kIoctlScsiPassThroughDirect)
        return StorageControl(*o, device, code, in, inSize, out, outSize, bytesReturned);
    // The class driver refuses it before it reaches the drive.
    if (LockedAgainst(*o)) {
        lastError = kErrorAccessDenied;
        return false;
    }
    if (!in || !out || inSize < sizeof(ScsiPassThroughDirect) ||
        outSize < sizeof(ScsiPassThroughDirect)) {
        lastError = kErrorInvalidParameter;
        return false;
    }
    ScsiPassThroughDirect spt;
    std::memcpy(&spt, in, sizeof spt);
    lastPassThroughIn = PassThroughRecord{};
    std::memcpy(&lastPassThroughIn, in, std::min<size_t>(inSize, sizeof lastPassThroughIn));
    lastPassThroughAddress = in;
    if (spt.Length != sizeof(ScsiPassThroughDirect) || spt.CdbLength > 16) {
        lastError = kErrorInvalidParameter;
        return false;
    }

    TraceEntry e{};
    e.ha = spt.PathId;
    e.target = spt.TargetId;
    e.letter = o->letter;
    std::memcpy(e.cdb, spt.Cdb, 12);
    e.dataIn = spt.DataIn == kScsiIoctlDataIn;
    e.length = spt.DataTransferLength;
    trace.push_back(e);

    VirtualDrive* drive = DriveAt(o->letter);
    if (!drive) {
        lastError = kErrorNotReady;
        return false;
    }
    DriveOutcome r = drive->Execute(spt.Cdb, e.dataIn, static_cast<uint8_t*>(spt.DataBuffer),
                                    spt.DataTransferLength);
    if (r.kind == DriveOutcome::Kind::TimedOut) {
        lastError = kErrorSemTimeout;
        return false;
    }
    if (r.kind == DriveOutcome::Kind::TransportFailure) {
        lastError = kErrorIoDevice;
        return false;
    }
    spt.ScsiStatus = r.status;
    spt.DataTransferLength = r.transferred;
    uint32_t returned = sizeof(ScsiPassThroughDirect);
    if (r.status == kStatusCheckCondition) {
        uint32_t n = std::min<uint32_t>(spt.SenseInfoLength, static_cast<uint32_t>(r.sense.size()));
        if (spt.SenseInfoOffset < sizeof(ScsiPassThroughDirect) ||
            spt.SenseInfoOffset + n > outSize) {
            lastError = kErrorInvalidParameter;
            return false;
        }
        std::memcpy(static_cast<uint8_t*>(out) + spt.SenseInfoOffset, r.sense.data(), n);
        spt.SenseInfoLength = static_cast<uint8_t>(n);
        returned = spt.SenseInfoOffset + n;
    } else {
        spt.SenseInfoLength = 0;
    }
    std::memcpy(out, &spt, sizeof spt);
    if (bytesReturned) *bytesReturned = returned;
    lastPassThroughOut = PassThroughRecord{};
    std::memcpy(&lastPassThroughOut, out, std::min<size_t>(outSize, sizeof lastPassThroughOut));
    return true;
}
