// The simulated system's ASPI layer: SRB_ExecSCSICmd with late and parked completions.
#include "sim/SimOs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "host/ini/IniReader.h"
#include "sim/AspiService.h"
#include "sim/SimOsText.h"

using namespace sim_os;

// ---- the ASPI layer ----------------------------------------------------------------

OsModule SimOs::LoadLibraryA(const char* name) {
    Enter("LoadLibraryA");
    if (!SameText(name, "WNASPI32.DLL") || aspiLayer == AspiLayer::Missing) {
        lastError = kErrorModNotFound;
        return nullptr;
    }
    ++moduleReferences;
    return AspiModuleHandle();
}

OsProc SimOs::GetProcAddress(OsModule module, const char* name) {
    Enter("GetProcAddress");
    if (module != AspiModuleHandle() || moduleReferences <= 0) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return nullptr;
    }
    if (name && std::strcmp(name, "GetASPI32SupportInfo") == 0 &&
        aspiLayer != AspiLayer::NoSupportEntry)
        return SupportInfoEntry();
    if (name && std::strcmp(name, "SendASPI32Command") == 0 && aspiLayer != AspiLayer::NoSendEntry)
        return SendCommandEntry();
    lastError = kErrorProcNotFound;
    return nullptr;
}

bool SimOs::FreeLibrary(OsModule module) {
    Enter("FreeLibrary");
    if (module != AspiModuleHandle() || moduleReferences <= 0) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    --moduleReferences;
    return true;
}

uint32_t SimOs::CallGetASPI32SupportInfo(OsProc entry) {
    Enter("GetASPI32SupportInfo");
    if (entry != SupportInfoEntry() || moduleReferences <= 0) {
        ++badCalls;
        return 0;
    }
    uint8_t status = aspiLayer == AspiLayer::BadStatus ? supportStatus : kSsComp;
    return (uint32_t(status) << 8) | AdapterCount();
}

uint32_t SimOs::CallSendASPI32Command(OsProc entry, void* request) {
    Enter("SendASPI32Command");
    if (entry != SendCommandEntry() || moduleReferences <= 0 || !request) {
        ++badCalls;
        return kSsInvalidCmd;
    }
    auto* srb = static_cast<SrbExecScsiCmd*>(request);
    srbAddresses.push_back(request);
    lastSrbAddress = request;
    if (srb->SRB_Cmd != kScExecScsiCmd) {
        srb->SRB_Status = kSsInvalidCmd;
        return kSsInvalidCmd;
    }
    lastSrbIn = *srb;

    TraceEntry e{};
    e.ha = srb->SRB_HaId;
    e.target = srb->SRB_Target;
    e.letter = ' ';
    std::memcpy(e.cdb, srb->CDBByte, 12);
    e.dataIn = SrbDataIn(*srb);
    e.length = srb->SRB_BufLen;
    trace.push_back(e);

    if (srb->SRB_HaId >= AdapterCount()) {
        srb->SRB_Status = kSsInvalidHa;
        lastSrbOut = *srb;
        return kSsInvalidHa;
    }
    VirtualDrive* drive = AspiDriveAt(srb->SRB_HaId, srb->SRB_Target);
    if (!drive || srb->SRB_Lun != 0) {
        srb->SRB_Status = kSsNoDevice;
        lastSrbOut = *srb;
        return kSsNoDevice;
    }

    Pending p{};
    p.srb = srb;
    p.event = srb->SRB_PostProc;
    if (Object* o = Find(p.event)) p.eventSerial = o->serial;
    p.notify = (srb->SRB_Flags & kSrbEventNotify) != 0;
    p.drive = drive;
    std::memcpy(p.cdb, srb->CDBByte, 12);
    p.dataIn = e.dataIn;
    p.data = srb->SRB_BufPointer;
    p.length = srb->SRB_BufLen;
    p.outcome = drive->Execute(p.cdb, p.dataIn, p.data, p.length);
    srb->SRB_Status = kSsPending;
    if (p.outcome.kind == DriveOutcome::Kind::TimedOut) {
        p.timedOut = true;
        pending_.push_back(p);
        lastSrbOut = *srb;
        return kSsPending;
    }
    if (completion == Completion::Late && p.notify) {
        pending_.push_back(p);
        lastSrbOut = *srb;
        return kSsPending;
    }
    Finish(p);
    AfterCommand();
    return srb->SRB_Status;
}

void SimOs::Finish(Pending& p) {
    CompleteSrb(*p.srb, p.outcome);
    if (p.srb == lastSrbAddress) lastSrbOut = *p.srb;
    if (!p.notify) return;
    if (signalDelayCalls > 0)
        deferredSignals_.push_back({p.event, p.eventSerial, signalDelayCalls});
    else
        Signal(p.event, p.eventSerial);
}

void SimOs::AfterCommand() {
    if (!completeTimedOutAfterNextCommand) return;
    completeTimedOutAfterNextCommand = false;
    CompleteTimedOut();
}

void SimOs::CompleteTimedOut() {
    std::vector<Pending> late;
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].timedOut) {
            late.push_back(pending_[i]);
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    for (Pending& p : late) {
        p.outcome = p.drive->Perform(p.cdb, p.dataIn, p.data, p.length);
        Finish(p);
    }
}
