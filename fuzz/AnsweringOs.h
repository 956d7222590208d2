// The simulated system with a drive whose answers come from the fuzzer:
// the virtual drive performs each command, then what the program will read
// (transport result, SRB status, sense bytes, data returned) is rewritten
// from the input, one decision per command that reaches the drive. Every
// answer is reported as the program will judge it.
#pragma once
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "sim/SimOs.h"

struct Answer {
    const uint8_t* cdb;
    bool dataIn;
    const uint8_t* data;  // the transfer area
    uint32_t length;
    uint32_t delivered;  // data-in bytes the layer put into the area
    bool success;        // transport completed and sense 0/0/0
};

class AnsweringOs : public SimOs {
  public:
    explicit AnsweringOs(FuzzInput& input) : input_(input), saved_(kMaxTransfer) {}

    std::function<void(const uint8_t* cdb)> beforeCommand;
    std::function<void(const Answer&)> afterCommand;
    uint32_t bent = 0;  // answers rewritten

    bool DeviceIoControl(OsHandle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override {
        if (!in || in != out || inSize < sizeof(PassThroughRecord))
            return SimOs::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
        auto* record = static_cast<PassThroughRecord*>(in);
        ScsiPassThroughDirect& spt = record->Spt;
        uint8_t cdb[12];
        std::memcpy(cdb, spt.Cdb, 12);
        const bool dataIn = spt.DataIn == kScsiIoctlDataIn;
        uint8_t* area = static_cast<uint8_t*>(spt.DataBuffer);
        const uint32_t length = std::min(spt.DataTransferLength, kMaxTransfer);
        Before(cdb, dataIn, area, length);

        size_t traced = trace.size();
        bool ok = SimOs::DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
        uint32_t delivered = ok && dataIn ? std::min(spt.DataTransferLength, length) : 0;
        if (trace.size() > traced && DriveAt(trace.back().letter)) {
            Change change = Decide();
            switch (change) {
                case Change::Sense:
                    ok = true;
                    spt.ScsiStatus = kStatusCheckCondition;
                    PutSense(record->Sense);
                    break;
                case Change::HideFailure:
                    ok = true;
                    spt.ScsiStatus = kStatusGood;
                    std::memset(record->Sense, 0, sizeof record->Sense);
                    break;
                case Change::Transport:
                    ok = false;
                    lastError = TransportError();
                    break;
                case Change::Status:
                    spt.ScsiStatus = input_.Byte();
                    break;
                default:
                    delivered = BendData(change, cdb, dataIn, area, length, delivered);
                    if (dataIn) spt.DataTransferLength = delivered;
            }
        }
        bool success =
            ok && record->Sense[2] == 0 && record->Sense[12] == 0 && record->Sense[13] == 0;
        After(cdb, dataIn, area, length, delivered, success);
        return ok;
    }

    uint32_t CallSendASPI32Command(OsProc entry, void* request) override {
        if (!request) return SimOs::CallSendASPI32Command(entry, request);
        auto* srb = static_cast<SrbExecScsiCmd*>(request);
        uint8_t cdb[12];
        std::memcpy(cdb, srb->CDBByte, 12);
        const bool dataIn = (srb->SRB_Flags & kSrbDirOut) == 0;
        uint8_t* area = srb->SRB_BufPointer;
        const uint32_t length = std::min(srb->SRB_BufLen, kMaxTransfer);
        Before(cdb, dataIn, area, length);

        size_t traced = trace.size();
        SimOs::CallSendASPI32Command(entry, request);
        // A request reports no count: a completed one has filled its area.
        uint32_t delivered = srb->SRB_Status == kSsComp && dataIn ? length : 0;
        if (trace.size() > traced && srb->SRB_Lun == 0 &&
            AspiDriveAt(srb->SRB_HaId, srb->SRB_Target)) {
            Change change = Decide();
            switch (change) {
                case Change::Sense:
                    srb->SRB_TargStat = kStatusCheckCondition;
                    PutSense(srb->SenseArea);
                    srb->SRB_Status = kSsErr;
                    break;
                case Change::HideFailure:
                    srb->SRB_HaStat = srb->SRB_TargStat = 0;
                    std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);
                    srb->SRB_Status = kSsComp;
                    break;
                case Change::Transport: {
                    // Any final status; a request left pending is parked for
                    // the rest of the process, which the fault matrix covers.
                    uint8_t status = input_.Byte();
                    srb->SRB_HaStat = input_.Byte();
                    srb->SRB_Status = status == kSsPending ? kSsErr : status;
                    break;
                }
                case Change::Status:
                    srb->SRB_TargStat = input_.Byte();
                    break;
                default:
                    delivered = BendData(change, cdb, dataIn, area, length, delivered);
            }
        }
        bool success = srb->SRB_Status == kSsComp && srb->SenseArea[2] == 0 &&
                       srb->SenseArea[12] == 0 && srb->SenseArea[13] == 0;
        After(cdb, dataIn, area, length, delivered, success);
        return srb->SRB_Status;
    }

  private:
    static constexpr uint32_t kMaxTransfer = 65536;
    enum class Change : uint8_t {
        None,
        Sense,        // CHECK CONDITION with key, ASC, ASCQ from the input
        HideFailure,  // GOOD and no sense, whatever the drive said
        Transport,    // the transport fails the command
        Status,       // only the SCSI status byte changes
        ShortData,    // fewer data bytes than asked for arrive
        FlipData,     // one data byte arrives changed
        WriteData,    // a run of data bytes comes from the input
        DropData,     // a written byte never reaches the drive's memory
        kCount
    };
    Change Decide() {
        auto change = static_cast<Change>(input_.Byte() % static_cast<uint8_t>(Change::kCount));
        if (change != Change::None) ++bent;
        return change;
    }

    void PutSense(uint8_t* sense) {
        sense[0] = 0x70;
        sense[2] = input_.Byte();
        sense[12] = input_.Byte();
        sense[13] = input_.Byte();
    }

    uint32_t TransportError() {
        static const uint32_t kErrors[] = {kErrorIoDevice, kErrorSemTimeout, kErrorNotReady,
                                           kErrorInvalidParameter};
        uint8_t pick = input_.Byte();
        return pick < 4 ? kErrors[pick] : pick;
    }

    uint32_t BendData(Change change, const uint8_t* cdb, bool dataIn, uint8_t* area,
                      uint32_t length, uint32_t delivered) {
        if (!area || length == 0) return delivered;
        if (change == Change::DropData && !dataIn && cdb[0] == 0x3B) {
            VirtualDrive* drive = Drive();
            uint32_t at = ((uint32_t(cdb[3]) << 16) | (uint32_t(cdb[4]) << 8) | cdb[5]) +
                          input_.Word() % length;
            if (drive && at < drive->bufferMemory.size()) drive->bufferMemory[at] ^= 0x5A;
            return delivered;
        }
        if (!dataIn) return delivered;
        if (change == Change::ShortData) {
            uint32_t keep = std::min<uint32_t>(input_.Word(), delivered);
            std::memcpy(area + keep, saved_.data() + keep, length - keep);
            return keep;
        }
        if (change == Change::FlipData) {
            area[input_.Word() % length] ^= static_cast<uint8_t>(input_.Byte() | 1);
        } else if (change == Change::WriteData) {
            uint32_t at = input_.Word() % length;
            std::vector<uint8_t> bytes =
                input_.Take(std::min<uint32_t>(input_.Byte(), length - at));
            std::copy(bytes.begin(), bytes.end(), area + at);
        }
        return delivered;
    }

    VirtualDrive* Drive() {
        const TraceEntry& e = trace.back();
        return e.letter == ' ' ? AspiDriveAt(e.ha, e.target) : DriveAt(e.letter);
    }

    void Before(const uint8_t* cdb, bool dataIn, const uint8_t* area, uint32_t length) {
        if (dataIn && area && length) std::memcpy(saved_.data(), area, length);
        if (beforeCommand) beforeCommand(cdb);
    }
    void After(const uint8_t* cdb, bool dataIn, const uint8_t* area, uint32_t length,
               uint32_t delivered, bool success) {
        if (afterCommand) afterCommand({cdb, dataIn, area, length, delivered, success});
    }

    FuzzInput& input_;
    std::vector<uint8_t> saved_;  // the data-in area as it was before the command
};
