// The ASPI transport: one SRB_ExecSCSICmd per command, handed to
// SendASPI32Command and completed through an event (9x family).
//
// A real layer completes a request from its own thread, and may do so after
// the program has stopped waiting: it writes the data, then sense and status,
// and signals the event last. So each request has a data area of its own
// (the caller's bytes are copied in before the send and, for data in, back
// out only when the command completed in time), and a request the layer may
// still write or signal is parked with its record, its area and its event
// until the event has been signalled. Nothing the layer holds is ever
// memory another command, another drive or the window uses, and no event is
// closed (its handle value free for reuse) while a signal may still come.
#include <algorithm>
#include <cstring>
#include <vector>

#include "drive/CDDrive.h"
#include "drive/CommandLog.h"
#include "drive/DriveState.h"

using namespace drive_state;

namespace {

// Each parked request belongs to the OsCalls it was sent through; Attach
// orphans them (os = none): orphans are only kept.
struct ParkedRequest {
    AspiCommand* command;
    OsHandle event;
    OsCalls* os;
};
// Never destroyed: the layer may still write into a parked request while the
// process ends. Created on first use without a function-local static (its
// guard would need run-time support the oldest systems lack).
std::vector<ParkedRequest>* gParked = nullptr;
std::vector<ParkedRequest>& Parked() {
    if (!gParked) gParked = new std::vector<ParkedRequest>();
    return *gParked;
}

// A parked request whose event has been signalled is done: the layer
// signals last, after writing everything it writes.
void ReclaimParkedRequests() {
    auto& parked = Parked();
    for (size_t i = 0; i < parked.size();) {
        ParkedRequest& p = parked[i];
        if (p.os && p.os == gOs && gOs->WaitForSingleObject(p.event, 0) == kWaitObject0) {
            gOs->CloseHandle(p.event);
            delete p.command;
            parked.erase(parked.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

// The request's own area holds at least `length` bytes. It only grows, to
// the shared buffer's size at once, so a drive allocates it once or twice
// (identification at the scan, then a flash).
void Reserve(AspiCommand& command, uint32_t length) {
    const uint32_t needed = std::max(length, kIdentifyBufferLength);
    if (command.Capacity >= needed) return;
    const uint32_t size = std::max(needed, gDataBufferLength);
    delete[] command.Data;
    command.Data = new uint8_t[size]();
    command.Capacity = size;
}

}  // namespace

namespace drive_state {
void OrphanParkedRequests() {
    // Parked requests stay allocated: the layer that holds them may still
    // complete them. They belonged to the previous seam, so they are never
    // polled again (a new seam could even sit at the same address and reuse
    // their handle values); they are kept until the process ends.
    for (ParkedRequest& p : Parked()) p.os = nullptr;
}
}  // namespace drive_state

int32_t CDDrive::ExecuteAspi(const uint8_t cdb[12], uint8_t direction, uint32_t length,
                             uint8_t* area) {
    ReclaimParkedRequests();
    if (!gSendEntry) {  // no layer loaded: nothing can be sent
        LastSystemError = 0;
        Status = kSsPending;
        SenseKey = Asc = Ascq = 0;
        ShowSystemError();
        return 0;
    }
    OsHandle event = gOs->CreateEventA(false, false);
    if (!event) {
        // A request without its event could never be waited for: send nothing.
        const uint32_t error = gOs->GetLastError();
        LastSystemError = 0;
        Status = kSsPending;
        SenseKey = Asc = Ascq = 0;
        ReportSystemError(error);
        return 0;
    }

    AspiCommand& command = *AspiRequest;
    Reserve(command, length);
    // Data in too: bytes the drive does not deliver stay the caller's, as
    // with a transfer straight into the caller's buffer.
    if (length > 0 && area) std::memcpy(command.Data, area, length);

    SrbExecScsiCmd& srb = command.Srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = kScExecScsiCmd;
    srb.SRB_HaId = HostAdapter;
    srb.SRB_Flags = direction == kDataIn ? kSrbDirIn : kSrbDirOut;
    srb.SRB_Flags += kSrbEventNotify;
    srb.SRB_Target = TargetId;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = command.Data;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 12;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, 12);

    // The layer may complete the request from another thread: read its
    // status once per look, through a volatile access.
    auto status = [&srb]() { return *static_cast<volatile uint8_t*>(&srb.SRB_Status); };
    const bool logged = gCommandLog.Active();
    const uint64_t started = logged ? gCommandLog.Micros() : 0;
    gOs->CallSendASPI32Command(gSendEntry, &srb);
    bool inTime;  // the outcome counts
    bool done;    // the layer has signalled after completing: it holds nothing more
    if (status() == kSsPending) {
        const bool signalled =
            gOs->WaitForSingleObject(event, static_cast<uint32_t>(gTimeoutSeconds) * 1000u) ==
            kWaitObject0;
        if (signalled) gOs->ResetEvent(event);
        done = signalled && status() != kSsPending;
        inTime = done;
    } else {
        // Completed before the call returned; the signal may still be on its way.
        inTime = true;
        done = gOs->WaitForSingleObject(event, 0) == kWaitObject0;
    }

    LastSystemError = 0;
    if (inTime) {
        Status = status();
        SenseKey = srb.SenseArea[2];
        Asc = srb.SenseArea[12];
        Ascq = srb.SenseArea[13];
        if (direction == kDataIn && length > 0 && area) std::memcpy(area, command.Data, length);
    } else {
        // Timed out: the outcome is that of the zeroed record, status 0, no sense.
        Status = kSsPending;
        SenseKey = Asc = Ascq = 0;
    }
    if (logged) {
        CommandOutcome outcome;
        outcome.passThrough = false;
        outcome.transportOk = inTime;
        outcome.status = Status;
        outcome.senseKey = SenseKey;
        outcome.asc = Asc;
        outcome.ascq = Ascq;
        gCommandLog.Command(Format("%u:%u", unsigned(HostAdapter), unsigned(TargetId)), cdb,
                            direction == kDataIn, length, started, outcome);
    }
    if (done) {
        gOs->CloseHandle(event);
    } else {
        Parked().push_back({AspiRequest, event, gOs});
        AspiRequest = new AspiCommand;
    }
    if (Status == kSsComp && SenseKey == 0) return static_cast<int32_t>(length);
    ShowSystemError();
    return 0;
}
