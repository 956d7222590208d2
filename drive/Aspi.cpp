// The ASPI transport: one SRB_ExecSCSICmd per command, handed to
// SendASPI32Command and completed through an event (9x family).
#include <cstring>
#include <vector>

#include "drive/CDDrive.h"
#include "drive/DriveState.h"

using namespace drive_state;

namespace {

// ASPI requests that were still pending when their wait timed out, with the
// event they name. The layer may still complete them, so neither the record
// nor the event is released until the layer has signalled the event (it sets
// the status first and signals last). Each belongs to the OsCalls it was sent
// through; Attach orphans them (os = none): orphans are only kept.
struct ParkedRequest {
    SrbExecScsiCmd* request;
    OsHandle event;
    OsCalls* os;
};
std::vector<ParkedRequest>& Parked() {
    static std::vector<ParkedRequest>* parked =
        new std::vector<ParkedRequest>();  // never destroyed
    return *parked;
}

void ReclaimParkedRequests() {
    auto& parked = Parked();
    for (size_t i = 0; i < parked.size();) {
        ParkedRequest& p = parked[i];
        if (p.os && p.os == os && os->WaitForSingleObject(p.event, 0) == kWaitObject0) {
            os->CloseHandle(p.event);
            delete p.request;
            parked.erase(parked.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
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
    if (!sendEntry) {  // no layer loaded: nothing can be sent
        LastSystemError = 0;
        Status = kSsPending;
        SenseKey = Asc = Ascq = 0;
        ShowSystemError();
        return 0;
    }
    OsHandle event = os->CreateEventA(false, false);

    SrbExecScsiCmd& srb = *AspiRequest;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = kScExecScsiCmd;
    srb.SRB_HaId = HostAdapter;
    srb.SRB_Flags = direction == kDataIn ? kSrbDirIn : kSrbDirOut;
    srb.SRB_Flags += kSrbEventNotify;
    srb.SRB_Target = TargetId;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = area;
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = 12;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, 12);

    // The layer may complete the request from another thread: read its
    // status once per look, through a volatile access.
    auto status = [&srb]() { return *static_cast<volatile uint8_t*>(&srb.SRB_Status); };
    os->CallSendASPI32Command(sendEntry, &srb);
    if (status() == kSsPending) {
        if (os->WaitForSingleObject(event, static_cast<uint32_t>(timeoutSeconds) * 1000u) ==
            kWaitObject0)
            os->ResetEvent(event);
    }

    LastSystemError = 0;
    Status = status();
    if (Status == kSsPending) {
        // Timed out (or woken without completion): the layer may still
        // complete this request and signal its event. Park both, untouched,
        // and give this drive a fresh record for its next command. The
        // outcome is that of the zeroed record: status 0, no sense.
        Parked().push_back({AspiRequest, event, os});
        AspiRequest = new SrbExecScsiCmd{};
        SenseKey = Asc = Ascq = 0;
    } else {
        os->CloseHandle(event);
        SenseKey = srb.SenseArea[2];
        Asc = srb.SenseArea[12];
        Ascq = srb.SenseArea[13];
    }
    if (Status == kSsComp && SenseKey == 0) return static_cast<int32_t>(length);
    ShowSystemError();
    return 0;
}
