// The simulated system with two observation points it lacks: a call at each
// command block as it reaches the system, before it runs (so a test can look
// at the window and the class-wide state at that moment), the time-out of
// every wait and the handle of every CloseHandle, in order.
#pragma once
#include <functional>
#include <vector>

#include "sim/SimOs.h"

class WatchedOs : public SimOs {
  public:
    // record: the pass-through request; nullptr on ASPI.
    std::function<void(const uint8_t* cdb, const PassThroughRecord* record)> onCommand;
    // Each other control code, before the system answers it.
    std::function<void(uint32_t code)> onControl;
    std::vector<uint32_t> waits;  // milliseconds
    std::vector<OsHandle> closed;

    bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override {
        if (onControl && code != kIoctlScsiPassThroughDirect) onControl(code);
        if (onCommand && in && inSize >= sizeof(PassThroughRecord)) {
            const auto* record = static_cast<const PassThroughRecord*>(in);
            onCommand(record->Spt.Cdb, record);
        }
        return SimOs::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
    }
    uint32_t CallSendASPI32Command(OsProc entry, void* srb) override {
        const auto* request = static_cast<const SrbExecScsiCmd*>(srb);
        if (onCommand && request && request->SRB_Cmd == kScExecScsiCmd)
            onCommand(request->CDBByte, nullptr);
        return SimOs::CallSendASPI32Command(entry, srb);
    }
    uint32_t WaitForSingleObject(OsHandle handle, uint32_t milliseconds) override {
        waits.push_back(milliseconds);
        return SimOs::WaitForSingleObject(handle, milliseconds);
    }
    bool CloseHandle(OsHandle handle) override {
        closed.push_back(handle);
        return SimOs::CloseHandle(handle);
    }
};
