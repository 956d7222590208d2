// The pass-through transport: one DeviceIoControl per command (NT family).
#include <cstddef>
#include <cstring>

#include "drive/CDDrive.h"
#include "drive/CommandLog.h"
#include "drive/DriveState.h"

using namespace drive_state;

int32_t CDDrive::ExecutePassThrough(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                                    uint8_t* area) {
    std::memset(&PassThroughRequest, 0, sizeof PassThroughRequest);
    ScsiPassThroughDirect& spt = PassThroughRequest.Spt;
    spt.Length = sizeof(ScsiPassThroughDirect);
    spt.PathId = HostAdapter;
    spt.TargetId = TargetId;
    spt.Lun = Lun;
    spt.CdbLength = 12;
    spt.SenseInfoLength = 24;
    spt.DataIn = direction == kDataIn ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    spt.DataTransferLength = length;
    spt.TimeOutValue = gTimeoutSeconds;
    spt.DataBuffer = area;
    spt.SenseInfoOffset = offsetof(PassThroughRecord, Sense);
    std::memcpy(spt.Cdb, cdb, 12);

    RequestSize = sizeof(PassThroughRecord);
    const bool logged = gCommandLog.Active();
    const uint64_t started = logged ? gCommandLog.Micros() : 0;
    IoctlOk = gOs->DeviceIoControl(DeviceHandle, kIoctlScsiPassThroughDirect, &PassThroughRequest,
                                   RequestSize, &PassThroughRequest, RequestSize, &BytesReturned);
    const uint32_t error = IoctlOk ? 0 : gOs->GetLastError();
    LastSystemError = 0;
    Status = spt.ScsiStatus;
    SenseKey = PassThroughRequest.Sense[2];
    Asc = PassThroughRequest.Sense[12];
    Ascq = PassThroughRequest.Sense[13];
    if (logged) {
        CommandOutcome outcome;
        outcome.transportOk = IoctlOk;
        outcome.status = Status;
        outcome.senseKey = SenseKey;
        outcome.asc = Asc;
        outcome.ascq = Ascq;
        outcome.error = error;
        gCommandLog.Command(std::string(1, DriveLetter) + ":", cdb, direction == kDataIn, length,
                            started, outcome);
    }
    if (IoctlOk && SenseKey == 0) return 1;
    if (IoctlOk)
        ShowSystemError();
    else
        ReportSystemError(error);
    return 0;
}
